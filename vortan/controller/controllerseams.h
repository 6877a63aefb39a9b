#pragma once

namespace vortan {

class Clock;
class KeyHelper;
class PortMapper;
class SleepInhibitor;

// What a test may put in place of a controller's environment. Each given
// part is borrowed (it must outlive the controller); a null one is what the
// options choose (keyStore, useGateway, inhibitSleep; the system clock),
// owned by the controller.
struct ControllerSeams {
    KeyHelper* keyHelper = nullptr;
    PortMapper* portMapper = nullptr;
    Clock* clock = nullptr;
    SleepInhibitor* sleepInhibitor = nullptr;
};

}  // namespace vortan
