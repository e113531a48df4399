// The saver's options from the host: "somnel configure SAVER", and the
// "Options…" button under the preview.
#include "host/host.h"
#include "host/signals.h"

#include "platform/geometry.h"
#include "platform/log.h"
#include "platform/view.h"

#include <QApplication>
#include <QDialog>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWindow>

namespace somnel::host {

namespace {

// The saver's sheet, or null with the reason in *why: a broken description
// raises while the sheet is built, and must not end the program.
QDialog *makeSheet(platform::ScreenSaverView *view, std::string *why) {
    QWidget *sheet = nullptr;
    try {
        sheet = view->configureSheet();
    } catch (const platform::InternalInconsistencyException &e) {
        *why = e.reason();
        return nullptr;
    }
    if (!sheet) {
        *why = "this saver has no options to show";
        return nullptr;
    }
    auto *dialog = qobject_cast<QDialog *>(sheet);
    if (!dialog) {
        // A sheet must be a dialog, so that OK and Cancel end it.
        delete sheet;
        *why = "the saver's configuration sheet is not a dialog";
    }
    return dialog;
}

}  // namespace

void openOptions(QWidget *frame, platform::ScreenSaverView *view) {
    std::string why;
    QDialog *sheet = makeSheet(view, &why);
    if (!sheet) {
        reportError(why);
        auto *box = new QMessageBox(QMessageBox::Warning, frame->windowTitle(),
                                    QStringLiteral("The options cannot be shown."), QMessageBox::Ok, frame);
        box->setInformativeText(QString::fromStdString(why));
        box->setWindowModality(Qt::WindowModal);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
        return;
    }
    sheet->setParent(frame, sheet->windowFlags() | Qt::Dialog);
    sheet->setWindowModality(Qt::WindowModal);
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(sheet, &QDialog::finished, frame, [view](int code) {
        if (code != QDialog::Accepted) return;
        platform::runAtFrameBoundary([view] {
            if (view->isAnimating()) view->stopAnimation();
            view->startAnimation();
        });
    });
    sheet->open();
}

QWidget *makePreviewFrame(QWindow *window, platform::ScreenSaverView *view, int width, int height) {
    auto *frame = new QWidget;
    frame->setWindowTitle(window->title());
    auto *column = new QVBoxLayout(frame);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    QWidget *container = QWidget::createWindowContainer(window, frame);
    container->setMinimumSize(16, 16);
    container->setFocusPolicy(Qt::StrongFocus);
    column->addWidget(container, 1);

    auto *bar = new QHBoxLayout;
    bar->setContentsMargins(8, 6, 8, 6);
    bar->addStretch(1);
    auto *options = new QPushButton(QStringLiteral("Options…"), frame);
    options->setObjectName(QStringLiteral("options"));
    options->setToolTip(QStringLiteral("Change this saver's settings"));
    // Keys belong to the saver: the button does not take the focus.
    options->setFocusPolicy(Qt::NoFocus);
    bar->addWidget(options);
    column->addLayout(bar);
    QObject::connect(options, &QPushButton::clicked, frame, [frame, view] { openOptions(frame, view); });

    frame->resize(width, height + options->sizeHint().height() + 12);
    container->setFocus();
    return frame;
}

ExitStatus configure(const std::string &saverNameOrPath) {
    LoadedSaver saver;
    std::string error;
    platform::ViewCreateArgs args;
    args.frame = platform::Rect::make(0, 0, 640, 480);
    if (!loadSaver(saverNameOrPath, args, &saver, &error)) return fail(ExitStatus::Unavailable, error);
    std::string why;
    QDialog *sheet = makeSheet(saver.view.get(), &why);
    if (!sheet) return fail(ExitStatus::Software, why);
    // A stop signal is a Cancel: every loop ends (a message box the sheet
    // opened too) and nothing is stored.
    bool stopped = stopSignal() != 0;
    onStopSignal([&stopped](int) {
        stopped = true;
        QCoreApplication::exit(exitCode(ExitStatus::Cancelled));
    });
    const int result = stopped ? QDialog::Rejected : sheet->exec();
    onStopSignal({});
    delete sheet;
    return result == QDialog::Accepted && !stopped ? ExitStatus::Ok : ExitStatus::Cancelled;
}

}  // namespace somnel::host
