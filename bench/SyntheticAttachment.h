// SyntheticAttachment: the bytes of one generated attachment, a file that
// real readers accept, of (about) the size asked for.
//
// - A PNG is an RGB image of random pixels (incompressible, like a photo) in
//   stored deflate blocks, with correct chunk CRCs and Adler-32, padded with a
//   text chunk to the exact size when the size allows.
// - A PDF is one page of text in an uncompressed content stream, with a
//   correct cross-reference table.
//
// Attachments are held in memory: one note's attachments at a time.
#pragma once

#include <QByteArray>
#include <QString>

class SeededRandom;

class SyntheticAttachment {
  public:
    // A PNG of about `size` bytes (never below the smallest 1×1 image).
    static SyntheticAttachment png(qint64 size, SeededRandom& random);
    // A PDF of about `size` bytes (never below the smallest one-page file).
    static SyntheticAttachment pdf(qint64 size, SeededRandom& random);

    const QByteArray& bytes() const { return bytes_; }
    // "image/png" or "application/pdf".
    const QString& mime() const { return mime_; }
    // The file-name extension without the dot: "png" or "pdf".
    QString extension() const;
    // Pixel size for images; 0 for documents.
    int width() const { return width_; }
    int height() const { return height_; }
    // The name the resource carries in the export; empty until set.
    const QString& fileName() const { return fileName_; }
    void setFileName(const QString& name) { fileName_ = name; }
    // Lower-case hexadecimal MD5 of bytes(), as en-media's hash attribute holds it.
    QString md5Hex() const;

  private:
    QByteArray bytes_;
    QString mime_;
    QString fileName_;
    int width_ = 0;
    int height_ = 0;
};
