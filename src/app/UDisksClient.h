// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The system's disk manager (the UDisks2 service on the system bus): the drives
// it knows, named as sysfs discovery names them, and devices it opens for a
// user who may not open them (polkit asks for the password), whose descriptors
// the platform layer then reads as any opened device.

#include "disk/Volume.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <optional>
#include <string>
#include <vector>

namespace sarvik::app {

/// What asking the service to open a device gave.
struct ServiceOpen {
    enum class Outcome {
        Opened,     ///< the device is served (platform::serveDevice)
        Refused,    ///< the service or polkit said no, or the user cancelled
        Unavailable ///< no service on the system bus, or it does not know the device
    };
    Outcome outcome = Outcome::Unavailable;
    QString reason; ///< the service's reason when not Opened
};

class UDisksClient : public QObject {
    Q_OBJECT
public:
    explicit UDisksClient(QObject* parent = nullptr);

    /// The drives the service knows, as FillDriveTree lists them; nothing
    /// when it does not run or does not answer.
    [[nodiscard]] std::optional<std::vector<disk::DriveItem>> drives() const;
    /// Asks the service to open `devicePath` (a whole device, no "@N")
    /// read-only for this user, letting polkit ask for the password; the
    /// descriptor it hands over serves the path from then on.
    ServiceOpen openDevice(const std::string& devicePath);

signals:
    /// Drives came or went (announced once their announcements settle).
    void drivesChanged();

private:
    QTimer m_settle; ///< one change signal for a burst of announcements
};

} // namespace sarvik::app
