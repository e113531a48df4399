// The session bus interface programs call to keep the screen on while
// they play video or show a presentation (org.freedesktop.ScreenSaver:
// Inhibit, UnInhibit and their companions), served at /ScreenSaver and
// /org/freedesktop/ScreenSaver when no other program owns the name. An
// inhibit lasts until its UnInhibit, or until the client that took it
// leaves the bus.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform {

class InhibitService {
public:
    struct Inhibitor {
        uint32_t cookie = 0;
        std::string application, reason;
        std::string client;  // the caller's unique name on the bus
    };
    // What the bus may ask of the owner of the service.
    struct Hooks {
        std::function<void()> inhibitorsChanged;  // an inhibit taken or released
        std::function<void()> simulateActivity;   // SimulateUserActivity: the user is back
        std::function<bool(bool on)> setActive;   // SetActive: show or end the saver now
        std::function<bool()> active;             // GetActive: the saver shows
        std::function<unsigned()> activeSeconds;  // GetActiveTime: for so long
    };

    // Serves the interface on the session bus when the name is free;
    // nullptr with *why when there is no session bus or another program
    // owns the name (the desktop's own handling then applies). The service
    // gives the name up to a program that asks to replace it, and then
    // holds no inhibit any more.
    static std::unique_ptr<InhibitService> serve(Hooks hooks, std::string *why);
    ~InhibitService();
    InhibitService(const InhibitService &) = delete;
    InhibitService &operator=(const InhibitService &) = delete;

    const std::vector<Inhibitor> &inhibitors() const;
    // Tells the clients that the saver started or ended (ActiveChanged).
    void announceActive(bool on);

private:
    InhibitService();
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace platform
