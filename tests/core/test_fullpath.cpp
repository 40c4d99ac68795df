#include "core/fullpath.h"

#include <gtest/gtest.h>

TEST(JoinFolderAndName, AddsOneSeparatorOnlyWhenMissing) {
    struct Case {
        std::u16string folder, name, expected;
    };
    const Case cases[] = {
        {u"/", u"song.mp3", u"/song.mp3"},
        {u"/music", u"song.mp3", u"/music/song.mp3"},
        {u"/music/", u"song.mp3", u"/music/song.mp3"},
        {u"/music", u"", u"/music/"}, // nothing selected: the folder itself
        {u"/", u"", u"/"},
        {u"/a b", u" x .MP3", u"/a b/ x .MP3"}, // nothing trimmed or folded
        {u"", u"x", u"/x"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(browse::joinFolderAndName(c.folder, c.name, u'/'), c.expected);
    }
    EXPECT_EQ(browse::joinFolderAndName(u"C:\\", u"song.mp3", u'\\'), u"C:\\song.mp3");
    EXPECT_EQ(browse::joinFolderAndName(u"C:\\Music", u"song.mp3", u'\\'), u"C:\\Music\\song.mp3");
}
