// The CUDA back-end: its call sequence, sizes, buffer growth and results
// checked against a stand-in library (host memory, plain products) loaded
// through the same run-time binding as the real one; and with the
// platform's own libraries, a refusal without a device that leaves the body
// deforming on the processor (or, where a device exists, the processor's
// results).

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include <osg/Geometry>

#include "FlexTestSupport.h"
#include "StandInCublas.h"
#include "dynlib/SharedLibrary.h"
#include "flex/CublasDeformation.h"
#include "flex/DeformationInterpolator.h"

namespace {

using flextest::expectProcessorResult;
using Body = flextest::RandomBody;
using flextest::randomBody;

class StandIn : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const dynlib::OpenResult opened =
            dynlib::Registry::instance().openFirst({STANDIN_CUDA}, false, "standInCalls");
        ASSERT_TRUE(opened.library) << opened.reasons;
        library = opened.library;
        calls = library->function<standin::Calls>("standInCalls")();
        reset = library->function<standin::Reset>("standInReset");
        held = library->function<standin::Held>("standInHeld");
        reset(1, 0);
    }

    // The calls of one name since the last reset.
    std::vector<standin::Call> named(const std::string& name) const
    {
        std::vector<standin::Call> found;
        for (const standin::Call& call : *calls)
            if (call.name == name)
                found.push_back(call);
        return found;
    }

    static CudaLibraries standIn() { return {{STANDIN_CUDA}, {STANDIN_CUDA}}; }

    std::shared_ptr<dynlib::SharedLibrary> library;
    const std::vector<standin::Call>* calls = nullptr;
    standin::Reset reset = nullptr;
    standin::Held held = nullptr;
};

TEST_F(StandIn, TheSequenceSizesAndResultsOfOneGeometry)
{
    CublasDeformation cuda(standIn());
    ASSERT_TRUE(cuda.start()) << cuda.error();
    Body b = randomBody(500, 40, 11);
    osg::ref_ptr<osg::Vec3Array> target = new osg::Vec3Array(500);
    cuda.deform(*b.field, *b.geometry, *b.vertices, *target);
    EXPECT_FALSE(cuda.context().failed());
    expectProcessorResult(b, *target);

    std::vector<std::string> sequence;
    for (const standin::Call& call : *calls)
        sequence.push_back(call.name);
    EXPECT_EQ(sequence, (std::vector<std::string>{"init", "alloc", "alloc", "alloc", "alloc",
                                                  "alloc", "set", "set", "set", "set", "set",
                                                  "sgemm", "sgemm", "saxpy", "get"}));
    const std::vector<standin::Call> allocs = named("alloc");
    const long sizes[] = {500 * 40, 3 * 40, 4 * 500, 9, 3 * 500};
    for (std::size_t i = 0; i < 5; ++i)
        EXPECT_EQ(allocs[i].sizes, (std::vector<long>{sizes[i], 4}));
    const std::vector<standin::Call> sets = named("set");
    const long written[] = {500 * 40, 3 * 40, 3 * 500, 9, 3 * 500};
    for (std::size_t i = 0; i < 5; ++i)
        EXPECT_EQ(sets[i].sizes[0], written[i]);
    const std::vector<standin::Call> products = named("sgemm");
    EXPECT_EQ(products[0].sizes, (std::vector<long>{'n', 'n', 3, 500, 3, 3, 3, 3}));
    EXPECT_EQ(products[1].sizes, (std::vector<long>{'n', 'n', 3, 500, 40, 3, 40, 3}));
    // No product writes into one of its own inputs.
    for (const standin::Call& product : products) {
        EXPECT_NE(product.pointers[2], product.pointers[0]);
        EXPECT_NE(product.pointers[2], product.pointers[1]);
    }
    EXPECT_EQ(named("saxpy")[0].sizes, (std::vector<long>{3 * 500, 1, 1}));
    EXPECT_EQ(named("get")[0].sizes[0], 3 * 500);
}

TEST_F(StandIn, BuffersGrowOnceForALargerGeometryAndAreFreedAtTheEnd)
{
    {
        CublasDeformation cuda(standIn());
        ASSERT_TRUE(cuda.start());
        Body small = randomBody(100, 10, 3), large = randomBody(400, 30, 5),
             smaller = randomBody(50, 20, 7);
        for (Body* b : {&small, &large, &smaller}) {
            osg::ref_ptr<osg::Vec3Array> target = new osg::Vec3Array(b->vertices->size());
            cuda.deform(*b->field, *b->geometry, *b->vertices, *target);
            expectProcessorResult(*b, *target);
        }
        // Five for the first, all five again for the larger one, none after.
        EXPECT_EQ(named("alloc").size(), 10u);
        EXPECT_EQ(named("free").size(), 5u);
        EXPECT_EQ(cuda.context().vertexCapacity(), 400u);
        EXPECT_EQ(cuda.context().nodeCapacity(), 30u);
        EXPECT_EQ(held(), 5u);
    }
    EXPECT_EQ(named("free").size(), 10u);
    EXPECT_EQ(held(), 0u);
}

TEST_F(StandIn, ZeroWeightsWriteTheSourcePositions)
{
    CublasDeformation cuda(standIn());
    ASSERT_TRUE(cuda.start());
    Body b = randomBody(300, 12, 21, 0.0f);
    osg::ref_ptr<osg::Vec3Array> target = new osg::Vec3Array(300);
    cuda.deform(*b.field, *b.geometry, *b.vertices, *target);
    EXPECT_EQ(target->asVector(), b.vertices->asVector());
}

TEST_F(StandIn, FailuresAreReportedAndNoDeviceIsRefused)
{
    reset(1, 2);
    {
        CublasDeformation cuda(standIn());
        ASSERT_TRUE(cuda.start());
        Body b = randomBody(20, 4, 2);
        osg::ref_ptr<osg::Vec3Array> target = new osg::Vec3Array(20);
        testing::internal::CaptureStdout();
        cuda.deform(*b.field, *b.geometry, *b.vertices, *target);
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_NE(out.find("!!!! device memory allocation error (A)\n"), std::string::npos);
        EXPECT_NE(out.find("!!!! device memory allocation error (B)\n"), std::string::npos);
        EXPECT_EQ(out.find("(X)"), std::string::npos);
        EXPECT_NE(out.find("!!!! device access error (write phi)\n"), std::string::npos);
        EXPECT_TRUE(cuda.context().failed());
    }
    EXPECT_EQ(held(), 0u);

    reset(0, 0);
    testing::internal::CaptureStdout();
    std::unique_ptr<DeformationBackend> backend =
        makeDeformationBackend(DeformationMode::Cublas, {}, standIn());
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(dynamic_cast<ProcessorDeformation*>(backend.get()), nullptr);
    EXPECT_NE(out.find("CUDA back-end cannot start (the CUDA runtime finds no device"),
              std::string::npos)
        << out;
    EXPECT_TRUE(named("alloc").empty());
}

TEST(Cublas, ThePlatformsLibrariesDeformOrFallBack)
{
    Body b = randomBody(2000, 64, 31);
    osg::ref_ptr<osg::Vec3Array> target = new osg::Vec3Array(2000);
    testing::internal::CaptureStdout();
    std::unique_ptr<DeformationBackend> backend = makeDeformationBackend(DeformationMode::Cublas);
    const std::string out = testing::internal::GetCapturedStdout();
    const bool onDevice = dynamic_cast<CublasDeformation*>(backend.get()) != nullptr;
    if (!onDevice) {
        EXPECT_NE(dynamic_cast<ProcessorDeformation*>(backend.get()), nullptr);
        EXPECT_NE(out.find("CUDA back-end cannot start"), std::string::npos) << out;
        EXPECT_NE(out.find("deforming on the processor"), std::string::npos) << out;
    }
    backend->deform(*b.field, *b.geometry, *b.vertices, *target);
    expectProcessorResult(b, *target);
    std::printf("The CUDA back-end ran on %s.\n", onDevice ? "a device" : "the processor");
}

} // namespace
