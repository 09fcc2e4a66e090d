// WebPreferences: the settings a page load is made with, under an identifier
// that names the set (so that user overrides can be looked up by it). The
// page loader never runs scripts, Java or plug-ins whatever these say; fonts,
// sizes, printing of backgrounds and the cache model are kept for whoever
// renders the archive.
//
// A plain value.
#pragma once

#include <QString>

class WebPreferences {
  public:
    enum class CacheModel { DocumentViewer = 0, DocumentBrowser = 1, PrimaryWebBrowser = 2 };

    WebPreferences() = default;
    explicit WebPreferences(QString identifier) : identifier_(std::move(identifier)) {}

    const QString& identifier() const { return identifier_; }

    const QString& standardFontFamily() const { return standardFontFamily_; }
    void setStandardFontFamily(const QString& family) { standardFontFamily_ = family; }
    const QString& fixedFontFamily() const { return fixedFontFamily_; }
    void setFixedFontFamily(const QString& family) { fixedFontFamily_ = family; }
    int defaultFontSize() const { return defaultFontSize_; }
    void setDefaultFontSize(int size) { defaultFontSize_ = size; }
    int defaultFixedFontSize() const { return defaultFixedFontSize_; }
    void setDefaultFixedFontSize(int size) { defaultFixedFontSize_ = size; }

    bool isJavaScriptEnabled() const { return javaScriptEnabled_; }
    void setJavaScriptEnabled(bool enabled) { javaScriptEnabled_ = enabled; }
    bool isJavaEnabled() const { return javaEnabled_; }
    void setJavaEnabled(bool enabled) { javaEnabled_ = enabled; }
    bool arePlugInsEnabled() const { return plugInsEnabled_; }
    void setPlugInsEnabled(bool enabled) { plugInsEnabled_ = enabled; }

    bool shouldPrintBackgrounds() const { return printBackgrounds_; }
    void setShouldPrintBackgrounds(bool print) { printBackgrounds_ = print; }
    CacheModel cacheModel() const { return cacheModel_; }
    void setCacheModel(CacheModel model) { cacheModel_ = model; }

  private:
    QString identifier_;
    QString standardFontFamily_ = QStringLiteral("Times");
    QString fixedFontFamily_ = QStringLiteral("Courier");
    int defaultFontSize_ = 16;
    int defaultFixedFontSize_ = 13;
    bool javaScriptEnabled_ = true;
    bool javaEnabled_ = false;
    bool plugInsEnabled_ = true;
    bool printBackgrounds_ = false;
    CacheModel cacheModel_ = CacheModel::DocumentViewer;
};
