// Where the picture lies in the window: aspect kept, centred, whole multiples when asked.
#include <gtest/gtest.h>

#include "platform/gl_picture.h"

namespace orvet {
namespace {

TEST(PicturePlacementTest, KeepsTheShapeAndCentresThePicture) {
    struct Case {
        int width, height;
        bool integer;
        PictureRect expected;
    };
    const Case cases[] = {
        {1280, 1024, true, {240, 212, 800, 600}},   // scale 1, black around it
        {1920, 1080, true, {560, 240, 800, 600}},   // 1080 / 600 is still 1
        {1920, 1200, true, {160, 0, 1600, 1200}},   // scale 2
        {1920, 1080, false, {240, 0, 1440, 1080}},  // smooth: the height limits
        {1000, 1000, false, {0, 125, 1000, 750}},   // smooth: the width limits
        {640, 480, true, {0, 0, 640, 480}},         // smaller than the picture: shrunk to fit
        {0, 600, true, {0, 0, 0, 0}},               // a minimised window draws nothing
    };
    for (const Case& c : cases) {
        const PictureRect rect = PlacePicture(c.width, c.height, c.integer);
        EXPECT_EQ(rect.x, c.expected.x) << c.width << "x" << c.height;
        EXPECT_EQ(rect.y, c.expected.y) << c.width << "x" << c.height;
        EXPECT_EQ(rect.width, c.expected.width) << c.width << "x" << c.height;
        EXPECT_EQ(rect.height, c.expected.height) << c.width << "x" << c.height;
    }
}

}  // namespace
}  // namespace orvet
