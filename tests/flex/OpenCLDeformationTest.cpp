// The OpenCL back-end against the processor back-end on random bodies (on
// whatever OpenCL device the machine has: PoCL's processor device where
// there is no GPU), with zero weights, and set-ups that fail.

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include <osg/Geometry>

#include "FlexTestSupport.h"
#include "flex/CublasDeformation.h"
#include "flex/DeformationInterpolator.h"
#include "flex/OpenCLDeformation.h"
#include "flex/ProcessorDeformation.h"

namespace {

using Body = flextest::RandomBody;
using flextest::randomBody;

// An OpenCL back-end that runs, or the reason the test is skipped.
std::unique_ptr<OpenCLDeformation> started()
{
    auto backend = std::make_unique<OpenCLDeformation>();
    testing::internal::CaptureStdout();
    const bool running = backend->start();
    testing::internal::GetCapturedStdout();
    if (!running)
        std::printf("OpenCL does not start: %s\n", backend->error().c_str());
    return running ? std::move(backend) : nullptr;
}

TEST(OpenCLDeformation, RandomBodiesMatchTheProcessorBackEnd)
{
    std::unique_ptr<OpenCLDeformation> openCL = started();
    if (!openCL)
        GTEST_SKIP() << "no OpenCL device here";
    // Row counts below, at and above one work-group's rows per pass, node
    // counts below and above the work-group width, and one of each.
    const std::pair<std::size_t, std::size_t> sizes[] = {
        {1, 1}, {7, 3}, {1000, 37}, {2500, 300}, {600, 1031}};
    unsigned seed = 40;
    for (const auto& [v, n] : sizes) {
        SCOPED_TRACE(testing::Message() << "V " << v << " N " << n);
        Body b = randomBody(v, n, seed += 3);
        osg::ref_ptr<osg::Vec3Array> expected = new osg::Vec3Array(v);
        osg::ref_ptr<osg::Vec3Array> actual = new osg::Vec3Array(v);
        ProcessorDeformation processor;
        processor.deform(*b.field, *b.geometry, *b.vertices, *expected);
        openCL->deform(*b.field, *b.geometry, *b.vertices, *actual);
        ASSERT_FALSE(openCL->fellBack());

        flextest::expectProcessorResult(b, *actual);
        // The displacements are real: a product left out would not pass.
        float moved = 0.0f;
        for (std::size_t i = 0; i < v; ++i)
            moved = std::max(moved, ((*expected)[i] - (*b.vertices)[i]).length());
        EXPECT_GT(moved, 1e-3f);
    }
}

TEST(OpenCLDeformation, ZeroWeightsWriteTheSourcePositions)
{
    std::unique_ptr<OpenCLDeformation> openCL = started();
    if (!openCL)
        GTEST_SKIP() << "no OpenCL device here";
    Body b = randomBody(777, 20, 5, 0.0f);
    osg::ref_ptr<osg::Vec3Array> target = new osg::Vec3Array(b.vertices->size());
    openCL->deform(*b.field, *b.geometry, *b.vertices, *target);
    EXPECT_EQ(target->asVector(), b.vertices->asVector());
}

TEST(OpenCLDeformation, AMissingKernelFileCleansUpAndTheBodyFallsBack)
{
    OpenCLMatVecContext context({"/nonexistent/folder/oclMatVecMul.cl"});
    testing::internal::CaptureStdout();
    EXPECT_FALSE(context.initOpenCL());
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Cleaning up... \n"), std::string::npos) << out;
    EXPECT_FALSE(context.ready());
    EXPECT_FALSE(context.error().empty());
    float value = 0.0f;
    EXPECT_FALSE(context.createBuffers(&value, &value, &value, 1, 1));
    EXPECT_FALSE(context.runMatVec());

    // Through the factory: the processor back-end, with the reason.
    testing::internal::CaptureStdout();
    std::unique_ptr<DeformationBackend> backend =
        makeDeformationBackend(DeformationMode::OpenCL, {"/nonexistent/folder/oclMatVecMul.cl"},
                               CudaLibraries::standard());
    const std::string said = testing::internal::GetCapturedStdout();
    EXPECT_NE(dynamic_cast<ProcessorDeformation*>(backend.get()), nullptr);
    EXPECT_NE(said.find("Cleaning up... "), std::string::npos) << said;
    EXPECT_NE(said.find("OpenCL back-end cannot start"), std::string::npos) << said;
    EXPECT_NE(said.find("deforming on the processor"), std::string::npos) << said;

    // The body still deforms.
    Body b = randomBody(50, 6, 9);
    osg::ref_ptr<osg::Vec3Array> expected = new osg::Vec3Array(50), actual = new osg::Vec3Array(50);
    ProcessorDeformation().deform(*b.field, *b.geometry, *b.vertices, *expected);
    backend->deform(*b.field, *b.geometry, *b.vertices, *actual);
    EXPECT_EQ(actual->asVector(), expected->asVector());
}

TEST(OpenCLDeformation, AKernelThatDoesNotBuildIsAFailedSetUp)
{
    const std::string bad = testing::TempDir() + "broken.cl";
    FILE* file = std::fopen(bad.c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fputs("__kernel void MatVecMulCoalesced3( this is not OpenCL C", file);
    std::fclose(file);
    OpenCLMatVecContext probe;
    testing::internal::CaptureStdout();
    const bool any = probe.initOpenCL();
    probe.cleanUp();
    OpenCLMatVecContext context({bad});
    const bool built = context.initOpenCL();
    const std::string out = testing::internal::GetCapturedStdout();
    if (!any)
        GTEST_SKIP() << "no OpenCL device here";
    EXPECT_FALSE(built);
    EXPECT_NE(context.error().find("does not build"), std::string::npos) << context.error();
    EXPECT_NE(out.find("Cleaning up... "), std::string::npos);
}

} // namespace
