#pragma once

#include <memory>

struct udev;
struct udev_monitor;
struct udev_enumerate;
struct udev_device;

namespace ampora::udev_handles {

struct UdevDeleter {
    void operator()(udev* handle) const;
};
struct MonitorDeleter {
    void operator()(udev_monitor* handle) const;
};
struct EnumerateDeleter {
    void operator()(udev_enumerate* handle) const;
};
struct DeviceDeleter {
    void operator()(udev_device* handle) const;
};

using Udev = std::unique_ptr<udev, UdevDeleter>;
using Monitor = std::unique_ptr<udev_monitor, MonitorDeleter>;
using Enumerate = std::unique_ptr<udev_enumerate, EnumerateDeleter>;
using Device = std::unique_ptr<udev_device, DeviceDeleter>;

}  // namespace ampora::udev_handles
