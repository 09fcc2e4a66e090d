// RTFListTable: the lists of an RTF's {\*\listtable} and
// {\*\listoverridetable} as the reader meets them, and the TextLists of the
// paragraphs that name them with \lsN and \ilvlN. A level's marker comes
// from Cocoa's {\*\levelmarker}, else from \levelnfc and {\leveltext}. A
// paragraph's lists are one chain per \ls: paragraphs of the same \ls share
// the lists of the levels they have in common, so numbering runs on.
// Unknown lists and levels get a bullet.
//
// Not thread-safe; one per reading.
#pragma once

#include <QList>
#include <QString>
#include <map>
#include <vector>

#include "platform/richtext/TextList.h"

class RTFListTable {
  public:
    // --- reading the tables ---

    // {\list} starts a list, {\listlevel} a level of the last list, and
    // {\listoverride} an entry of the override table.
    void beginList() { lists_.push_back({}); }
    void beginLevel();
    void beginOverride() { overrideListId_ = 0; }
    // Control words in a {\list} (\listid), a {\listlevel} (\levelnfc,
    // \levelstartat) and a {\listoverride} (\listid, \ls); others are ignored.
    void listWord(const QByteArray& word, int parameter);
    void levelWord(const QByteArray& word, int parameter);
    void overrideWord(const QByteArray& word, int parameter);
    // Text of the current level's {\*\levelmarker} and {\leveltext}.
    void appendMarker(const QString& text);
    void appendLevelText(const QString& text);

    // --- using the tables ---

    // The lists of a paragraph in list `override` (\ls) at `level` (\ilvl,
    // clamped to 0-8): one TextList per level, outermost first.
    QList<TextList> listsFor(int override, int level);

  private:
    struct Level {
        int numberFormat = 23;  // \levelnfc: 23 is a bullet
        int startAt = 1;
        QString marker;
        QString levelText;
    };
    struct List {
        int identifier = 0;
        std::vector<Level> levels;
    };

    Level* currentLevel();
    TextList makeList(int override, int level) const;
    static QString markerFormatFor(const Level& level, int depth);

    std::vector<List> lists_;
    std::map<int, int> overrides_;  // \ls → \listid
    int overrideListId_ = 0;
    std::map<int, QList<TextList>> instances_;  // \ls → the lists of its levels so far
};
