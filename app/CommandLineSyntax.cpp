#include "app/CommandLineSyntax.h"

CommandLineSyntax::CommandLineSyntax(QString command, QString synopsis, QString description,
                                     QString epilog)
    : command_(std::move(command)),
      synopsis_(std::move(synopsis)),
      description_(std::move(description)),
      epilog_(std::move(epilog)),
      parser_(std::make_unique<QCommandLineParser>()) {
    // Our own help option: the parser's would add --help-all and exit the process.
    addFlag({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("show this help"));
}

void CommandLineSyntax::addFlag(const QStringList& names, const QString& description) {
    options_.append(QCommandLineOption(names, description));
    parser_->addOption(options_.last());
}

void CommandLineSyntax::addValueOption(const QStringList& names, const QString& valueName,
                                       const QString& description) {
    options_.append(QCommandLineOption(names, description, valueName));
    parser_->addOption(options_.last());
}

bool CommandLineSyntax::parse(const QStringList& args, QTextStream& err) {
    // The parser takes the program's own name first.
    if (parser_->parse(QStringList{QStringLiteral("ferrymark")} + args)) return true;
    err << "ferrymark " << command_ << ": unexpected argument " << offendingArgument(args)
        << "\n\nusage: " << helpText();
    return false;
}

const QCommandLineOption* CommandLineSyntax::optionNamed(const QString& name) const {
    for (const QCommandLineOption& option : options_)
        if (option.names().contains(name)) return &option;
    return nullptr;
}

// The parser words its errors itself ("Unknown option 'x'."); ours name the
// argument as the user typed it, so the same walk is made here.
QString CommandLineSyntax::offendingArgument(const QStringList& args) const {
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& argument = args[i];
        if (argument == QLatin1String("--")) break;
        if (!argument.startsWith(u'-') || argument == QLatin1String("-")) continue;
        const QString body = argument.mid(argument.startsWith(QLatin1String("--")) ? 2 : 1);
        const qsizetype equals = body.indexOf(u'=');
        const QCommandLineOption* option = optionNamed(equals < 0 ? body : body.left(equals));
        if (!option) return argument;
        const bool takesValue = !option->valueName().isEmpty();
        if (!takesValue && equals >= 0) return argument;
        if (takesValue && equals < 0 && ++i >= args.size()) return argument;
    }
    return parser_->errorText();
}

QString CommandLineSyntax::helpText() const {
    // The generated text opens with its own usage line (naming the program as
    // it was started); the synopsis stands in its place.
    const QString generated = parser_->helpText();
    const qsizetype firstLineEnd = generated.indexOf(u'\n');
    QString text = synopsis_ + u'\n';
    if (!description_.isEmpty()) text += u'\n' + description_ + u'\n';
    text += generated.mid(firstLineEnd + 1);
    if (!epilog_.isEmpty()) text += u'\n' + epilog_;
    return text;
}
