#pragma once

#include <QDBusUnixFileDescriptor>
#include <QObject>

#include <memory>

namespace vortan {

// Keeps the machine from idle sleep while transfers run.
class SleepInhibitor {
public:
    virtual ~SleepInhibitor() = default;
    virtual void acquire() = 0;
    virtual void release() = 0;
    virtual bool isHeld() const = 0;
};

class NullSleepInhibitor : public SleepInhibitor {
public:
    void acquire() override { m_held = true; }
    void release() override { m_held = false; }
    bool isHeld() const override { return m_held; }

private:
    bool m_held = false;
};

// logind's "sleep:idle" block inhibitor on the system bus. The request is
// asynchronous; without a bus or logind nothing happens and nothing is reported.
class Login1SleepInhibitor : public QObject, public SleepInhibitor {
    Q_OBJECT
public:
    Login1SleepInhibitor();
    ~Login1SleepInhibitor() override;

    void acquire() override;
    void release() override;
    bool isHeld() const override { return m_wanted; }
    // The inhibitor descriptor once logind has answered.
    bool hasDescriptor() const { return m_fd.isValid(); }

private:
    bool m_wanted = false;
    bool m_pending = false;
    QDBusUnixFileDescriptor m_fd;
};

}  // namespace vortan
