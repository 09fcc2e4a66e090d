// A file name chosen in a folder and held until the file is made: converters
// running in parallel choose names with makeFilenameUniqueInDirectoryAtURL,
// which only sees what is already on disk, so two notes with the same title
// could otherwise both pick "T.pmnote". A name chosen here is one that no
// other live reservation in this process holds; two notes still get "T" and
// "T 1" as one after the other would.
//
// Create the item under path() before the reservation ends; once it exists,
// later choices see it on disk.
//
// Threading: any thread; a choice waits only while another converter holds
// exactly the name it would take.
#pragma once

#include <QString>

class EvernoteReservedFileName {
  public:
    // Chooses and holds a free name for `name` in `folder` (made safe and
    // unique as makeFilenameUniqueInDirectoryAtURL does).
    EvernoteReservedFileName(const QString& name, const QString& folder);
    // Releases the name.
    ~EvernoteReservedFileName();

    EvernoteReservedFileName(const EvernoteReservedFileName&) = delete;
    EvernoteReservedFileName& operator=(const EvernoteReservedFileName&) = delete;

    QString fileName() const { return fileName_; }
    QString path() const { return path_; }

  private:
    QString fileName_;
    QString path_;
};
