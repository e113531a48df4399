// somnel settings: the screen-saver settings window.
#include "host/settings.h"
#include "host/signals.h"

#include "platform/file_read.h"
#include "platform/log.h"
#include "platform/preferences.h"
#include "platform/saver_window.h"
#include "platform/value.h"
#include "platform/view.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFrame>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QPushButton>
#include <QShortcut>
#include <QSpinBox>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>
#include <QXmlStreamReader>

#include <algorithm>
#include <cmath>

namespace somnel::host {

namespace {

// A saver's description is a few paragraphs; a file past this is not one.
constexpr std::size_t kMaxDescriptionFileBytes = 1024 * 1024;
// A child that has not ended by then (a status check, a change of the
// autostart entry, a full-screen run after a stop signal) is killed.
constexpr int kChildLimitMs = 10000;

// The text of the first <_description>, as written. Reading stops at its
// end; a fault in the file after it costs nothing, one inside it keeps
// the text before.
QString descriptionText(const QByteArray &xml) {
    QXmlStreamReader reader(xml);
    while (!reader.atEnd() && !(reader.readNext() == QXmlStreamReader::StartElement &&
                                reader.name() == QLatin1String("_description"))) {
    }
    QString text;
    while (!reader.atEnd()) {
        const auto token = reader.readNext();
        if (token == QXmlStreamReader::Characters || token == QXmlStreamReader::EntityReference)
            text += reader.text();
        else if (token == QXmlStreamReader::EndElement && reader.name() == QLatin1String("_description"))
            break;
    }
    return text;
}

// The first line of text that is not blank, its blanks simplified.
QString firstLine(const QString &text) {
    for (const QString &line : text.split('\n'))
        if (!line.trimmed().isEmpty()) return line.simplified();
    return {};
}

// The paragraphs, each on one line: lines inside a paragraph join, a
// blank line ends one.
QString paragraphs(const QString &text) {
    QStringList out;
    for (const QString &block : text.split(QRegularExpression(QStringLiteral("\\n\\s*\\n")))) {
        const QString joined = block.simplified();
        if (!joined.isEmpty()) out << joined;
    }
    return out.join('\n');
}

// The XML of a bundle: Resources/<name in lower case>.xml, else the only
// XML file there.
QString descriptionFile(const QString &bundlePath) {
    QDir resources(bundlePath + "/Resources");
    const QString own = QFileInfo(bundlePath).completeBaseName().toLower() + ".xml";
    if (resources.exists(own)) return resources.filePath(own);
    const QStringList xml = resources.entryList({"*.xml"}, QDir::Files);
    return xml.size() == 1 ? resources.filePath(xml.front()) : QString();
}

QByteArray descriptionXml(const std::string &bundlePath) {
    const QString file = descriptionFile(QString::fromStdString(bundlePath));
    if (file.isEmpty()) return {};
    std::string data, why;
    if (platform::readRegularFile(file.toStdString(), kMaxDescriptionFileBytes, &data, &why) !=
        platform::FileRead::Ok) {
        platform::logInfo(platform::LogArea::Host, "%s: no description: %s", qPrintable(file), why.c_str());
        return {};
    }
    return QByteArray::fromStdString(data);
}

// Two lines per saver: the name in bold, the first line of its
// description under it, both cut to the list's width.
class SaverItemDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *p, const QStyleOptionViewItem &option, const QModelIndex &index) const override {
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        const QString name = opt.text, summary = index.data(SettingsWindow::kSummaryRole).toString();
        opt.text.clear();
        QStyle *style = opt.widget ? opt.widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &opt, p, opt.widget);
        const bool selected = opt.state & QStyle::State_Selected;
        const QRect r = opt.rect.adjusted(kMargin, kMargin, -kMargin, -kMargin);
        QFont bold = opt.font;
        bold.setBold(true);
        const QFontMetrics boldMetrics(bold), metrics(opt.font);
        p->save();
        p->setPen(opt.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
        p->setFont(bold);
        p->drawText(QRect(r.left(), r.top(), r.width(), boldMetrics.height()), Qt::AlignLeft | Qt::AlignVCenter,
                    boldMetrics.elidedText(name, Qt::ElideRight, r.width()));
        QColor dim = opt.palette.color(selected ? QPalette::HighlightedText : QPalette::PlaceholderText);
        p->setPen(dim);
        p->setFont(opt.font);
        p->drawText(QRect(r.left(), r.top() + boldMetrics.height(), r.width(), metrics.height()),
                    Qt::AlignLeft | Qt::AlignVCenter, metrics.elidedText(summary, Qt::ElideRight, r.width()));
        p->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &) const override {
        QFont bold = option.font;
        bold.setBold(true);
        return QSize(200, QFontMetrics(bold).height() + QFontMetrics(option.font).height() + 2 * kMargin);
    }

private:
    static constexpr int kMargin = 5;
};

}  // namespace

std::vector<SaverEntry> installedSavers() {
    std::vector<SaverEntry> out;
    for (const std::string &line : listSavers()) {
        SaverEntry e;
        const auto tab = line.find('\t');
        e.name = line.substr(0, tab);
        e.path = tab == std::string::npos ? std::string() : line.substr(tab + 1);
        const QString text = descriptionText(descriptionXml(e.path));
        e.summary = firstLine(text).toStdString();
        e.description = paragraphs(text).toStdString();
        out.push_back(std::move(e));
    }
    std::sort(out.begin(), out.end(), [](const SaverEntry &a, const SaverEntry &b) {
        return QString::fromStdString(a.name).compare(QString::fromStdString(b.name), Qt::CaseInsensitive) < 0;
    });
    return out;
}

SettingsWindow::SettingsWindow(SettingsOptions options, QWidget *parent)
    : QWidget(parent), options_(std::move(options)) {
    settings_ = platform::ScreenSaverDefaults::defaultsForModuleWithName(kSettingsDomain);
    settings_->registerDefaults({{kSaverKey, std::string(kDefaultSaver)},
                                 {kIdleMinutesKey, (long long)kDefaultIdleMinutes}});
    setWindowTitle(QStringLiteral("Screen Saver Settings"));
    buildLayout();
    fillList();

    statusTimer_ = new QTimer(this);
    statusTimer_->setInterval(options_.statusIntervalMs);
    connect(statusTimer_, &QTimer::timeout, this, &SettingsWindow::refreshIdleStatus);
    statusTimer_->start();
    refreshIdleStatus();

    // Escape, Ctrl+W and Ctrl+Q close the window.
    for (const QKeySequence &keys :
         {QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W), QKeySequence(Qt::CTRL | Qt::Key_Q)})
        connect(new QShortcut(keys, this), &QShortcut::activated, this, &QWidget::close);
    resize(860, 560);
}

SettingsWindow::~SettingsWindow() {
    stopPreview();
    // Children still running end here, before this object is gone, so
    // that none reports back to it: the status check at once, a change of
    // the autostart entry once done, a full-screen run as a stop signal
    // ends it.
    if (statusCheck_) {
        statusCheck_->disconnect(this);
        statusCheck_->kill();
        statusCheck_->waitForFinished();
    }
    if (autostartChange_) {
        autostartChange_->disconnect(this);
        if (!autostartChange_->waitForFinished(kChildLimitMs)) autostartChange_->kill();
        autostartChange_->waitForFinished();
    }
    if (fullScreen_ && fullScreen_->state() != QProcess::NotRunning) {
        fullScreen_->terminate();
        if (!fullScreen_->waitForFinished(kChildLimitMs)) {
            fullScreen_->kill();
            fullScreen_->waitForFinished();
        }
    }
}

void SettingsWindow::buildLayout() {
    auto *root = new QVBoxLayout(this);
    root->setContentsMargins(12, 12, 12, 12);
    root->setSpacing(10);

    auto *top = new QHBoxLayout;
    top->setSpacing(12);
    root->addLayout(top, 1);

    list_ = new QListWidget(this);
    list_->setObjectName(QStringLiteral("savers"));
    list_->setItemDelegate(new SaverItemDelegate(list_));
    list_->setMinimumWidth(220);
    list_->setMaximumWidth(360);
    list_->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
    list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list_->setUniformItemSizes(true);
    top->addWidget(list_, 1);
    connect(list_, &QListWidget::currentRowChanged, this, &SettingsWindow::choose);

    auto *right = new QVBoxLayout;
    right->setSpacing(8);
    top->addLayout(right, 2);

    // The preview: black until a saver draws; a message when none can.
    previewArea_ = new QWidget(this);
    previewArea_->setObjectName(QStringLiteral("preview"));
    previewArea_->setMinimumSize(320, 200);
    previewArea_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    QPalette black = previewArea_->palette();
    black.setColor(QPalette::Window, Qt::black);
    black.setColor(QPalette::WindowText, Qt::white);
    previewArea_->setPalette(black);
    previewArea_->setAutoFillBackground(true);
    previewLayout_ = new QVBoxLayout(previewArea_);
    previewLayout_->setContentsMargins(0, 0, 0, 0);
    previewMessage_ = new QLabel(previewArea_);
    previewMessage_->setAlignment(Qt::AlignCenter);
    previewMessage_->setWordWrap(true);
    previewMessage_->setMargin(16);
    previewLayout_->addWidget(previewMessage_);
    previewArea_->installEventFilter(this);
    right->addWidget(previewArea_, 1);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    optionsButton_ = new QPushButton(QStringLiteral("Options…"), this);
    optionsButton_->setObjectName(QStringLiteral("options"));
    optionsButton_->setToolTip(QStringLiteral("Change this saver's settings"));
    connect(optionsButton_, &QPushButton::clicked, this, [this] {
        if (saver_.view) openOptions(this, saver_.view.get());
    });
    buttons->addWidget(optionsButton_);
    fullScreenButton_ = new QPushButton(QStringLiteral("Show Full Screen"), this);
    fullScreenButton_->setObjectName(QStringLiteral("fullScreen"));
    fullScreenButton_->setToolTip(QStringLiteral("Show this saver on every screen now; a key, a click or moving "
                                                 "the mouse ends it"));
    connect(fullScreenButton_, &QPushButton::clicked, this, &SettingsWindow::showFullScreen);
    buttons->addWidget(fullScreenButton_);
    right->addLayout(buttons);

    // When the saver starts, and whether anything will start it.
    auto *line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    root->addWidget(line);
    auto *after = new QHBoxLayout;
    auto *startAfter = new QLabel(QStringLiteral("Start after"), this);
    after->addWidget(startAfter);
    minutes_ = new QSpinBox(this);
    minutes_->setObjectName(QStringLiteral("idleMinutes"));
    minutes_->setRange(kMinIdleMinutes, kMaxIdleMinutes);
    minutes_->setValue(storedIdleMinutes(settings_->objectForKey(kIdleMinutesKey)));
    // Stored once a value is entered (Enter, leaving the box, the arrows),
    // not at every digit typed.
    minutes_->setKeyboardTracking(false);
    startAfter->setBuddy(minutes_);
    after->addWidget(minutes_);
    after->addWidget(new QLabel(QStringLiteral("minutes without input"), this));
    after->addStretch(1);
    root->addLayout(after);
    connect(minutes_, &QSpinBox::valueChanged, this, &SettingsWindow::storeMinutes);

    autostart_ = new QCheckBox(QStringLiteral("Start the idle watcher when I log in"), this);
    autostart_->setObjectName(QStringLiteral("autostart"));
    autostart_->setToolTip(QStringLiteral("Run \"somnel idle --enable\" or \"--disable\": an autostart entry "
                                          "starts the idle watcher with every session"));
    connect(autostart_, &QCheckBox::clicked, this, &SettingsWindow::setAutostart);
    root->addWidget(autostart_, 0, Qt::AlignLeft);

    auto *idle = new QHBoxLayout;
    idleStatus_ = new QLabel(this);
    idleStatus_->setObjectName(QStringLiteral("idleStatus"));
    idleStatus_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    idle->addWidget(idleStatus_, 1);
    startIdle_ = new QPushButton(QStringLiteral("Start Idle Watcher"), this);
    startIdle_->setObjectName(QStringLiteral("startIdle"));
    startIdle_->setToolTip(QStringLiteral("Run \"somnel idle\", which starts the chosen saver after the idle time"));
    connect(startIdle_, &QPushButton::clicked, this, &SettingsWindow::startIdleWatcher);
    idle->addWidget(startIdle_);
    auto *close = new QPushButton(QStringLiteral("Close"), this);
    close->setObjectName(QStringLiteral("close"));
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    idle->addSpacing(12);
    idle->addWidget(close);
    root->addLayout(idle);
    idleStatusKnown(-1, QString());
}

// Lists the savers and selects the stored one (by name, or by path when
// a path was stored), else the default saver, else the first.
void SettingsWindow::fillList() {
    const QString stored = QString::fromStdString(storedSaver(settings_->objectForKey(kSaverKey)));
    int chosen = -1, fallback = -1;
    filling_ = true;
    for (const SaverEntry &e : installedSavers()) {
        auto *item = new QListWidgetItem(QString::fromStdString(e.name), list_);
        item->setData(kSummaryRole, QString::fromStdString(e.summary));
        item->setData(kPathRole, QString::fromStdString(e.path));
        if (!e.description.empty()) item->setToolTip(QString::fromStdString(e.description));
        item->setData(Qt::AccessibleTextRole, QString::fromStdString(e.name + ". " + e.summary));
        const int row = list_->count() - 1;
        const QString name = QString::fromStdString(e.name), path = QString::fromStdString(e.path);
        if (chosen < 0 && (name.compare(stored, Qt::CaseInsensitive) == 0 ||
                           (stored.contains('/') && QFileInfo(stored).canonicalFilePath() == path)))
            chosen = row;
        if (fallback < 0 && name.compare(kDefaultSaver, Qt::CaseInsensitive) == 0) fallback = row;
    }
    filling_ = false;
    if (chosen < 0) chosen = fallback >= 0 ? fallback : 0;
    if (list_->count() == 0) {
        previewMessage_->setText(QStringLiteral("No savers are installed."));
        optionsButton_->setEnabled(false);
        fullScreenButton_->setEnabled(false);
        return;
    }
    // Showing what is stored stores nothing; the preview starts once the
    // window is shown.
    filling_ = true;
    list_->setCurrentRow(chosen);
    filling_ = false;
}

void SettingsWindow::choose(int row) {
    if (filling_ || row < 0) return;
    QListWidgetItem *item = list_->item(row);
    settings_->setObject(kSaverKey, item->text().toStdString());
    settings_->synchronize();
    if (isVisible()) startPreview(item->data(kPathRole).toString());
}

// The preview starts when the window is first shown, inside it: a saver's
// window is never made as a top-level window of its own first.
void SettingsWindow::showEvent(QShowEvent *e) {
    QWidget::showEvent(e);
    if (!saver_.view && !container_ && list_->currentItem())
        startPreview(list_->currentItem()->data(kPathRole).toString());
}

QWindow *SettingsWindow::previewWindow() const { return saver_.view ? saver_.view->window() : nullptr; }

// A new view of the saver in a window inside the preview area, sized to it.
void SettingsWindow::startPreview(const QString &path) {
    stopPreview();
    const qreal dpr = previewArea_->devicePixelRatioF();
    const QRect shape = previewRect();
    platform::ViewCreateArgs args;
    args.frame = platform::Rect::make(0, 0, std::round(shape.width() * dpr), std::round(shape.height() * dpr));
    args.isPreview = true;
    std::string error;
    if (!loadSaver(path.toStdString(), args, &saver_, &error)) {
        reportError(error);
        previewMessage_->setText(QString::fromStdString(error));
        previewMessage_->show();
        optionsButton_->setEnabled(false);
        return;
    }
    QWindow *window = saver_.view->window();
    if (!window) window = new platform::SaverWindow(saver_.view.get());
    // A picture to look at: input goes to the settings window around it.
    window->setFlag(Qt::WindowTransparentForInput);
    container_ = QWidget::createWindowContainer(window, previewArea_);
    container_->setFocusPolicy(Qt::NoFocus);
    previewMessage_->hide();
    container_->setGeometry(shape);
    container_->show();
    optionsButton_->setEnabled(true);
    platform::runAtFrameBoundary([this] { saver_.view->startAnimation(); });
}

// The largest rectangle of the screen's shape that the preview area
// holds, centred: the saver is seen as it will fill the screen.
QRect SettingsWindow::previewRect() const {
    const QSize area = previewArea_->size();
    QSize shape = screen() ? screen()->size() : area;
    if (shape.isEmpty()) shape = area;
    shape.scale(area, Qt::KeepAspectRatio);
    return QRect(QPoint((area.width() - shape.width()) / 2, (area.height() - shape.height()) / 2), shape);
}

bool SettingsWindow::eventFilter(QObject *watched, QEvent *e) {
    if (watched == previewArea_ && e->type() == QEvent::Resize && container_)
        container_->setGeometry(previewRect());
    return QWidget::eventFilter(watched, e);
}

// Stops the view while its window is still there (the saver's free
// callback runs with its context current), then lets window, view and
// bundle go in that order.
void SettingsWindow::stopPreview() {
    if (!saver_.view) return;
    platform::runAtFrameBoundary([this] {
        if (saver_.view->isAnimating()) saver_.view->stopAnimation();
    });
    delete container_;  // and the saver's window with it
    container_ = nullptr;
    saver_.view.reset();
    saver_.bundle.reset();
}

void SettingsWindow::storeMinutes(int minutes) {
    settings_->setObject(kIdleMinutesKey, (long long)minutes);
    settings_->synchronize();
}

// `somnel run SAVER` in a child process: a saver that fails full screen
// does not take the settings with it.
void SettingsWindow::showFullScreen() {
    QListWidgetItem *item = list_->currentItem();
    if (!item) return;
    if (fullScreen_ && fullScreen_->state() != QProcess::NotRunning) return;
    delete fullScreen_;
    fullScreen_ = new QProcess(this);
    fullScreen_->setProcessChannelMode(QProcess::ForwardedChannels);
    fullScreen_->setStandardInputFile(QProcess::nullDevice());
    fullScreen_->start(QString::fromStdString(options_.program), {"run", item->data(kPathRole).toString()});
}

// `somnel idle`, detached so that it outlives this window. Its errors
// reach standard error; its output is not wanted.
void SettingsWindow::startIdleWatcher() {
    QProcess idle;
    idle.setProgram(QString::fromStdString(options_.program));
    idle.setArguments({"idle"});
    idle.setStandardInputFile(QProcess::nullDevice());
    idle.setStandardOutputFile(QProcess::nullDevice());
    // A long-running program holds no folder that may go away.
    idle.setWorkingDirectory(QDir::rootPath());
    if (!idle.startDetached()) {
        reportError("could not start \"" + options_.program + " idle\"");
        return;
    }
    startIdle_->setEnabled(false);
    idleStatus_->setText(QStringLiteral("Idle watcher: starting…"));
    QTimer::singleShot(1000, this, &SettingsWindow::refreshIdleStatus);
}

// `somnel ARGS` in a child process; done(status, first line of its
// output) once it ends, the status -1 when it could not start or did not
// end normally. One that has not ended in time is killed.
QProcess *SettingsWindow::startChild(const QStringList &args, std::function<void(int, const QString &)> done) {
    auto *child = new QProcess(this);
    child->setStandardInputFile(QProcess::nullDevice());
    auto end = [this, child, done](int status) {
        const QString line = QString::fromLocal8Bit(child->readAllStandardOutput()).section('\n', 0, 0).trimmed();
        child->deleteLater();
        done(status, line);
    };
    connect(child, &QProcess::finished, this, [end](int code, QProcess::ExitStatus how) {
        end(how == QProcess::NormalExit ? code : -1);
    });
    connect(child, &QProcess::errorOccurred, this, [end](QProcess::ProcessError e) {
        if (e == QProcess::FailedToStart) end(-1);  // a crash or a kill ends in finished()
    });
    QTimer::singleShot(kChildLimitMs, child, [child] { child->kill(); });
    child->start(QString::fromStdString(options_.program), args);
    return child;
}

// `somnel idle --status`, one at a time, and whether the autostart entry
// is there.
void SettingsWindow::refreshIdleStatus() {
    if (!autostartChange_) autostart_->setChecked(QFileInfo::exists(autostartEntry()));
    if (statusCheck_) return;
    statusCheck_ = startChild({"idle", "--status"}, [this](int status, const QString &line) {
        statusCheck_ = nullptr;
        idleStatusKnown(status, line);
    });
}

// `somnel idle --enable` or `--disable` writes or removes the autostart
// entry (enabling also starts the watcher); the box then shows what is
// on disk, whatever the command did.
void SettingsWindow::setAutostart(bool on) {
    if (autostartChange_) return;
    autostart_->setEnabled(false);
    autostartChange_ = startChild({"idle", on ? "--enable" : "--disable"}, [this](int, const QString &) {
        autostartChange_ = nullptr;
        autostart_->setEnabled(true);
        refreshIdleStatus();
    });
}

// The user's autostart entry for the idle watcher.
QString SettingsWindow::autostartEntry() {
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base)) base = QDir::homePath() + "/.config";
    return base + "/autostart/somnel-idle.desktop";
}

// The watcher's own line while it answers as running or stopped; "not
// running" when the command failed or does not know --status.
void SettingsWindow::idleStatusKnown(int exitCode, const QString &line) {
    const bool running = exitCode == host::exitCode(ExitStatus::Ok);
    QString text = running ? QStringLiteral("running") : QStringLiteral("not running");
    if ((running || exitCode == host::exitCode(ExitStatus::NotRunning)) && !line.isEmpty()) text = line;
    idleStatus_->setText(QStringLiteral("Idle watcher: ") + text);
    startIdle_->setEnabled(!running);
}

void SettingsWindow::closeEvent(QCloseEvent *e) {
    // A number typed but not yet entered counts.
    minutes_->interpretText();
    statusTimer_->stop();
    stopPreview();
    e->accept();
}

ExitStatus settings() {
    SettingsOptions options;
    options.program = QCoreApplication::applicationFilePath().toStdString();
    SettingsWindow window(options);
    window.show();
    QObject::connect(qApp, &QGuiApplication::lastWindowClosed, qApp, &QCoreApplication::quit);
    onStopSignal([&window](int) {
        window.close();
        QCoreApplication::exit(exitCode(ExitStatus::Ok));
    });
    return stopSignal() ? ExitStatus::Ok : static_cast<ExitStatus>(QApplication::exec());
}

}  // namespace somnel::host
