// Linked only into the 64-bit twin of the tray program, which only tests
// run: the USB tree comes from the script that TDZ_DEVICE_TREE names, read
// again at every enumeration, because Wine has no USB devices.
#include "drives/scripted_device_tree.h"

namespace {

const bool g_played = PlayDeviceTreeFromEnvironment();

}  // namespace
