// Healing a skin: the match tolerance the driver takes from the data, the
// heal order with its seed, gaps closed along shared edges in every mode,
// faces kept with their surfaces and loops, cancels and broken loops.
#include "healing/SkinTopology.h"

#include "SkinTestSupport.h"
#include "foundation/Progress.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using FENWO_SKIN::CSkinTopology;
using skintest::Faces;
using skintest::rectangle;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

TEST(HealSkin, MovedRectangleMeetsTheSeedSquare)
{
    Faces faces;
    CFace* square = faces.add(skintest::insetRectangle(0, 0, 2, 2, 0.0, 0.5));
    CFace* rect = faces.add(skintest::insetRectangle(2, 0, 3, 2, 0.05, 0.5));
    const double dTol = 0.01;
    const double before = skintest::largestEdgeGap(faces.list, 0.5, dTol);
    CaptureStdout();
    const bool ok = healSkin(faces.list, dTol, nullptr, nullptr, 0.0, 0, true);
    const std::string out = GetCapturedStdout();
    std::cout << out;
    EXPECT_TRUE(ok);
    const double after = skintest::largestEdgeGap(faces.list, 0.5, dTol);
    std::cout << "gap before " << before << " after " << after << std::endl;
    EXPECT_LT(after, dTol);
    EXPECT_EQ(square->spareFlag, 1);
    EXPECT_EQ(rect->spareFlag, 2);
}

} // namespace
