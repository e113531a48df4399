// somnel settings: the screen-saver settings window. The installed savers
// in a list, a live preview of the chosen one, its options, when the
// screen saver starts, and whether the idle watcher runs.
#pragma once

#include "host/host.h"
#include "host/somnel_settings.h"

#include <QStringList>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QCheckBox;
class QCloseEvent;
class QLabel;
class QListWidget;
class QProcess;
class QPushButton;
class QShowEvent;
class QSpinBox;
class QTimer;
class QVBoxLayout;

namespace platform {
class ScreenSaverDefaults;
}

namespace somnel::host {

// A saver as the list shows it.
struct SaverEntry {
    std::string name;     // the bundle's name: "Drizzle"
    std::string path;     // its folder
    std::string summary;  // the first line of its description; empty when it has none or it cannot be read
    std::string description;  // the whole description, its paragraphs each on one line
};

// Every saver on the search path (the first of each name, as `somnel list`
// finds them), with its description read from the <_description> of its
// XML (Resources/<name in lower case>.xml, else the only XML there). No
// bundle's code is loaded.
std::vector<SaverEntry> installedSavers();

struct SettingsOptions {
    // The somnel program that `run` and `idle` are started from.
    std::string program;
    // How often the idle watcher's status is asked for.
    int statusIntervalMs = 3000;
};

// The settings window. Every change is stored at once in the settings
// domain; closing it stops the preview (the saver's free callback runs
// with its context current).
class SettingsWindow : public QWidget {
public:
    explicit SettingsWindow(SettingsOptions options, QWidget *parent = nullptr);
    ~SettingsWindow() override;

    // Item data roles of the saver list beside the name (Qt::DisplayRole).
    static constexpr int kSummaryRole = Qt::UserRole + 1;
    static constexpr int kPathRole = Qt::UserRole + 2;

    // The window and view of the running preview; null while none runs.
    QWindow *previewWindow() const;
    platform::ScreenSaverView *previewView() const { return saver_.view.get(); }

    // Asks the idle watcher's status now.
    void refreshIdleStatus();

protected:
    void closeEvent(QCloseEvent *) override;
    bool eventFilter(QObject *watched, QEvent *e) override;
    void showEvent(QShowEvent *) override;

private:
    void buildLayout();
    void fillList();
    void choose(int row);
    void startPreview(const QString &path);
    QRect previewRect() const;
    void stopPreview();
    void showFullScreen();
    void startIdleWatcher();
    void idleStatusKnown(int exitCode, const QString &line);
    QProcess *startChild(const QStringList &args, std::function<void(int, const QString &)> done);
    void setAutostart(bool on);
    static QString autostartEntry();
    void storeMinutes(int minutes);

    SettingsOptions options_;
    std::shared_ptr<platform::ScreenSaverDefaults> settings_;
    LoadedSaver saver_;
    QListWidget *list_ = nullptr;
    QWidget *previewArea_ = nullptr;
    QVBoxLayout *previewLayout_ = nullptr;
    QWidget *container_ = nullptr;
    QLabel *previewMessage_ = nullptr;
    QPushButton *optionsButton_ = nullptr;
    QPushButton *fullScreenButton_ = nullptr;
    QSpinBox *minutes_ = nullptr;
    QLabel *idleStatus_ = nullptr;
    QPushButton *startIdle_ = nullptr;
    QCheckBox *autostart_ = nullptr;
    QProcess *autostartChange_ = nullptr;
    QTimer *statusTimer_ = nullptr;
    QProcess *statusCheck_ = nullptr;
    QProcess *fullScreen_ = nullptr;
    bool filling_ = false;
};

// `somnel settings`: shows the window until it is closed or a stop signal
// comes.
ExitStatus settings();

}  // namespace somnel::host
