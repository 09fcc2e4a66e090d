// The syntax of one command of the command line (`ferrymark import`, ...):
// its options, parsed with QCommandLineParser (`--opt value`, `--opt=value`,
// `--` ending the options, -h and --help), and its help, generated from the
// options' descriptions between the command's own prose.
//
// A parse that fails (an unknown option, an option without its value, a value
// given to an option that takes none) writes "ferrymark COMMAND: unexpected
// argument ARG", a blank line, "usage: " and the help to the error stream.
//
// Movable, not copyable. Main thread: the generated help reads the
// application's arguments (for a first line that the synopsis replaces).
#pragma once

#include <QCommandLineParser>
#include <QString>
#include <QStringList>
#include <QTextStream>
#include <memory>

class CommandLineSyntax {
  public:
    // `command` names the command in messages ("import"); `synopsis` is the
    // help's first lines ("ferrymark import FILE.enex... [--library DIR]");
    // `description` stands before the options, `epilog` after them (either
    // may be empty).
    CommandLineSyntax(QString command, QString synopsis, QString description = QString(),
                      QString epilog = QString());

    // An option without a value, by its names without dashes ("debug").
    void addFlag(const QStringList& names, const QString& description);
    // An option that takes a value, shown as <valueName> in the help.
    void addValueOption(const QStringList& names, const QString& valueName,
                        const QString& description);

    // Reads "-word" as the long option "word" rather than as the short
    // options "-w -o -r -d" (the defaults command's "-bool").
    void setSingleDashWordsAsLongOptions() {
        parser_->setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    }

    // Parses `args` (the words after the command's own). False, with the
    // message above on `err`, when they do not fit the options.
    bool parse(const QStringList& args, QTextStream& err);
    // After parse: whether the option is given, its value (the last one given),
    // the words that are not options, in order (also those after `--`), and
    // whether -h or --help is given.
    bool isSet(const QString& name) const { return parser_->isSet(name); }
    QString value(const QString& name) const { return parser_->value(name); }
    QStringList operands() const { return parser_->positionalArguments(); }
    bool wantsHelp() const { return parser_->isSet(QStringLiteral("help")); }
    // Whether the syntax has an option of that name (without dashes).
    bool hasOption(const QString& name) const { return optionNamed(name) != nullptr; }

    // The synopsis, the description, the options with theirs, the epilog.
    QString helpText() const;

  private:
    // The argument of `args` that the parse could not take.
    QString offendingArgument(const QStringList& args) const;
    const QCommandLineOption* optionNamed(const QString& name) const;

    QString command_;
    QString synopsis_;
    QString description_;
    QString epilog_;
    QList<QCommandLineOption> options_;
    std::unique_ptr<QCommandLineParser> parser_;  // not movable itself
};
