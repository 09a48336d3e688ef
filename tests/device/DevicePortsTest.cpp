#include "engine/DevicePorts.h"
#include "MemoryProfileFiles.h"

#include <gtest/gtest.h>

using namespace vexo;

TEST(DevicePorts, DefaultsFollowTheLinuxNodeNames)
{
    EXPECT_EQ(DevicePortName(0), "USB");
    EXPECT_EQ(DevicePortName(1), "COM1");
    EXPECT_EQ(DevicePortName(10), "COM10");
    EXPECT_EQ(DefaultDevicePath(0), "/dev/ttyACM0");
    EXPECT_EQ(DefaultDevicePath(1), "/dev/ttyS0");
    EXPECT_EQ(DefaultDevicePath(10), "/dev/ttyS9");
    // A hand-edited negative port has no node of its own.
    EXPECT_EQ(DevicePortName(-1), "");
    EXPECT_EQ(DefaultDevicePath(-1), "");
}

TEST(DevicePorts, PortsSectionOverridesTheDefault)
{
    test::MemoryProfileFiles files;
    const QString ini = QStringLiteral("/p/VexoFile.ini");
    files.setContent(ini, "[Setting]\nComport=1\n[ports]\ncom1 = /dev/ttyUSB0\nUSB=\"/dev/ttyACM1\"\n"
                          "COM2=   \nCOM3=/tmp/link with space\n");
    EXPECT_EQ(ResolveDevicePath(files, ini, 1), "/dev/ttyUSB0");
    EXPECT_EQ(ResolveDevicePath(files, ini, 0), "/dev/ttyACM1");
    EXPECT_EQ(ResolveDevicePath(files, ini, 2), "/dev/ttyS1"); // blank: the default
    EXPECT_EQ(ResolveDevicePath(files, ini, 3), "/tmp/link with space");
    EXPECT_EQ(ResolveDevicePath(files, ini, 4), "/dev/ttyS3");
    EXPECT_EQ(ResolveDevicePath(files, QStringLiteral("/missing.ini"), 1), "/dev/ttyS0");
    EXPECT_EQ(ResolveDevicePath(files, ini, -2), "");
}
