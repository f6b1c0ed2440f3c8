#include "platform/linux/power/udev_handles.h"

#include <libudev.h>

namespace ampora::udev_handles {

void UdevDeleter::operator()(udev* handle) const {
    udev_unref(handle);
}
void MonitorDeleter::operator()(udev_monitor* handle) const {
    udev_monitor_unref(handle);
}
void EnumerateDeleter::operator()(udev_enumerate* handle) const {
    udev_enumerate_unref(handle);
}
void DeviceDeleter::operator()(udev_device* handle) const {
    udev_device_unref(handle);
}

}  // namespace ampora::udev_handles
