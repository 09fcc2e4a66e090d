// An output stream on a file, opened for appending. Every write is one system
// call on an O_APPEND descriptor, so lines from this stream and from a
// redirected standard error on the same file never tear each other.
#pragma once

#include <QByteArray>
#include <QString>

class OutputStream {
  public:
    explicit OutputStream(const QString& path);
    ~OutputStream();
    OutputStream(const OutputStream&) = delete;
    OutputStream& operator=(const OutputStream&) = delete;

    // Opens the file for appending, creating it. False on failure.
    bool open();
    bool isOpen() const { return fd_ >= 0; }
    // Writes all bytes; returns the number written, or -1 on error or when closed.
    qint64 write(const QByteArray& bytes);
    void close();
    const QString& path() const { return path_; }

  private:
    QString path_;
    int fd_ = -1;
};
