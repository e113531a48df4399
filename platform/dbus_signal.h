// A signal from a message bus, delivered to a function: QtDBus hands bus
// signals to slots only, and this class is the one slot the platform needs.
#pragma once

#include <QDBusMessage>
#include <QObject>

#include <functional>

namespace platform {

class DBusSignalReceiver : public QObject {
    Q_OBJECT
public:
    explicit DBusSignalReceiver(std::function<void(const QDBusMessage &)> fn, QObject *parent = nullptr)
        : QObject(parent), fn_(std::move(fn)) {}

public Q_SLOTS:
    // The slot to name in QDBusConnection::connect: SLOT(deliver(QDBusMessage)).
    void deliver(const QDBusMessage &message) {
        if (fn_) fn_(message);
    }

private:
    std::function<void(const QDBusMessage &)> fn_;
};

}  // namespace platform
