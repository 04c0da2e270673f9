// Built with the undefined-behaviour sanitizer, which ends the run at the first fault.

#include "platform/x11/X11Connection.h"

#include <gtest/gtest.h>

namespace {

using platform::X11Property;

// The values as the server sends them to us: in our own byte order.
QByteArray longs(std::initializer_list<quint32> values)
{
    QByteArray bytes;
    for (quint32 value : values)
        bytes.append(reinterpret_cast<const char *>(&value), sizeof value);
    return bytes;
}

TEST(X11Property, ThirtyTwoBitValuesAreReadWhateverTheLength)
{
    // A window manager may set a property with no value at all (an empty _NET_CLIENT_LIST).
    const X11Property empty{XCB_ATOM_WINDOW, 32, {}};
    EXPECT_TRUE(empty.values32().isEmpty());
    EXPECT_EQ(empty.value32(), std::nullopt);

    const X11Property list{XCB_ATOM_WINDOW, 32, longs({0x1400007, 0x2200003, 7})};
    EXPECT_EQ(list.values32(), QList<quint32>({0x1400007, 0x2200003, 7}));
    EXPECT_EQ(list.value32(), 0x1400007u);

    // A trailing partial value is left out; other formats have no 32-bit values.
    const X11Property ragged{XCB_ATOM_CARDINAL, 32, longs({5}) + QByteArray("\1\2", 2)};
    EXPECT_EQ(ragged.values32(), QList<quint32>({5}));
    const X11Property text{XCB_ATOM_STRING, 8, QByteArray("abcdefgh")};
    EXPECT_TRUE(text.values32().isEmpty());
}

} // namespace
