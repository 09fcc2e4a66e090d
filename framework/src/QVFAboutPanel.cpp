#include "Quorvel/QVFAboutPanel.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QLabel>
#include <QLocale>
#include <QScreen>
#include <QShortcut>
#include <QVBoxLayout>

#include "Quorvel/QVFCreditsView.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Format.h"
#include "platform/foundation/Localization.h"
#include "platform/plist/PlistValue.h"

namespace {

const QString kBuildVersionKey = QStringLiteral("QVBuildVersion");
const QString kShortVersionKey = QStringLiteral("CFBundleShortVersionString");
const QString kBundleVersionKey = QStringLiteral("CFBundleVersion");
const QString kBundleNameKey = QStringLiteral("CFBundleName");
const QString kCopyrightKey = QStringLiteral("NSHumanReadableCopyright");

constexpr QSize kCreditsSize(280, 130);
constexpr int kIconSize = 64;

QString userLanguage() { return QLocale().name().section(u'_', 0, 0); }

QLabel* centredLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setAlignment(Qt::AlignHCenter);
    label->setWordWrap(true);
    return label;
}

}  // namespace

QVFAboutPanel& QVFAboutPanel::sharedAboutPanel() {
    static QVFAboutPanel* panel = new QVFAboutPanel(Bundle::main(), QStringLiteral(":"));
    return *panel;
}

QVFAboutPanel::QVFAboutPanel(const Bundle& bundle, const QString& resourceDirectory,
                             QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
    infoDictionary_ = std::make_unique<PlistDictionary>(
        localizedInfoDictionary(bundle.infoDictionary(), resourceDirectory));
    isMacAppStoreVersion_ = infoDictionary_->contains(kBuildVersionKey);
    versionString_ = versionStringForInfoDictionary(*infoDictionary_);

    const QString name = infoDictionary_->value(kBundleNameKey).toString();
    setWindowTitle(stringWithFormat(localizedString("About %@"), {name}));

    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    const QIcon icon = QApplication::windowIcon();
    if (!icon.isNull()) {
        auto* iconLabel = centredLabel(QString(), this);
        iconLabel->setPixmap(icon.pixmap(kIconSize, kIconSize));
        layout->addWidget(iconLabel);
    }
    auto* nameLabel = centredLabel(name, this);
    QFont nameFont = nameLabel->font();
    nameFont.setBold(true);
    nameFont.setPointSizeF(nameFont.pointSizeF() * 1.3);
    nameLabel->setFont(nameFont);
    layout->addWidget(nameLabel);
    versionLabel_ = centredLabel(versionString_, this);
    versionLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(versionLabel_);
    creditsView_ = new QVFCreditsView(this, resourceDirectory);
    creditsView_->setFixedSize(kCreditsSize);
    layout->addWidget(creditsView_, 0, Qt::AlignHCenter);
    const QString copyright = infoDictionary_->value(kCopyrightKey).toString();
    if (!copyright.isEmpty()) layout->addWidget(centredLabel(copyright, this));

    windowDidLoad();
}

QVFAboutPanel::~QVFAboutPanel() = default;

PlistDictionary QVFAboutPanel::infoDictionary() const { return *infoDictionary_; }

void QVFAboutPanel::windowDidLoad() {
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
    setAutoFillBackground(true);

    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &QWidget::close);

    adjustSize();
    if (const QScreen* screen = QApplication::primaryScreen()) {
        QRect frame(QPoint(), size());
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

void QVFAboutPanel::showWindow() {
    show();
    raise();
    activateWindow();
}

void QVFAboutPanel::setVersionString(const QString& versionString) {
    versionString_ = versionString;
    versionLabel_->setText(versionString);
}

QString QVFAboutPanel::versionStringForInfoDictionary(const PlistDictionary& info) {
    const QString shortVersion = info.value(kShortVersionKey).toString();
    if (info.contains(kBuildVersionKey)) {
        return stringWithFormat(localizedString("%@ (%@) Mac App Store Version"),
                                {shortVersion, info.value(kBuildVersionKey).toString()});
    }
    return stringWithFormat(QStringLiteral("%@ (%@)"),
                            {shortVersion, info.value(kBundleVersionKey).toString()});
}

PlistDictionary QVFAboutPanel::localizedInfoDictionary(const PlistDictionary& info,
                                                       const QString& resourceDirectory) {
    PlistDictionary merged = info.mutableCopy();
    QFile table(
        QStringLiteral("%1/%2.lproj/InfoPlist.strings").arg(resourceDirectory, userLanguage()));
    if (!table.open(QIODevice::ReadOnly)) return merged;
    const auto entries = parseStringsTable(QString::fromUtf8(table.readAll()));
    for (auto it = entries.cbegin(); it != entries.cend(); ++it) merged.set(it.key(), it.value());
    return merged;
}

bool QVFAboutPanel::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate) creditsView_->startAnimation();
    return QWidget::event(event);
}

void QVFAboutPanel::closeEvent(QCloseEvent* event) {
    creditsView_->stopAnimation();
    QWidget::closeEvent(event);
}
