#pragma once

// Who the virtual driver is: its COM class and the name it is registered under.
// Tests include this to find it.

#include <guiddef.h>

namespace tonvane::vasio {

// {9C879667-20F0-4847-95C7-88C8CB7ED6A7}
inline constexpr GUID kClsid = {0x9c879667, 0x20f0, 0x4847, {0x95, 0xc7, 0x88, 0xc8, 0xcb, 0x7e, 0xd6, 0xa7}};
inline constexpr char kClsidText[] = "{9C879667-20F0-4847-95C7-88C8CB7ED6A7}";
inline constexpr char kDriverName[] = "Tonvane Virtual ASIO";
inline constexpr char kFileName[] = "TonvaneVirtualAsio.dll";
inline constexpr char kIniName[] = "TonvaneVirtualAsio.ini";

// What the driver puts in every byte of an output buffer half before it asks the
// host to fill it: a host that writes nothing leaves this behind in the recording.
inline constexpr unsigned char kFillByte = 0xA5;

}  // namespace tonvane::vasio
