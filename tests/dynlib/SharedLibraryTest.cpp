// The registry of run-time libraries: one handle per library, shared by
// every user, released in one place, and every candidate's failure said.

#include <gtest/gtest.h>

#include "dynlib/SharedLibrary.h"

namespace {

// Present on every Debian system the program runs on.
constexpr const char* kMathLibrary = "libm.so.6";

TEST(SharedLibraryRegistry, OpensFirstCandidateThatLoadsAndResolvesSymbols)
{
    dynlib::Registry registry;
    const dynlib::OpenResult opened =
        registry.openFirst({"liborvane-no-such-library.so", kMathLibrary});
    ASSERT_NE(opened.library, nullptr) << opened.reasons;
    EXPECT_EQ(opened.library->name(), kMathLibrary);
    using Cosine = double (*)(double);
    const auto cosine = opened.library->function<Cosine>("cos");
    ASSERT_NE(cosine, nullptr);
    EXPECT_DOUBLE_EQ(cosine(0.0), 1.0);
    EXPECT_EQ(opened.library->symbol("orvane_no_such_symbol"), nullptr);
}

TEST(SharedLibraryRegistry, SharesOneHandleUntilReleased)
{
    dynlib::Registry registry;
    const auto first = registry.openFirst({kMathLibrary}).library;
    const auto second = registry.openFirst({kMathLibrary}).library;
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first, second);
    EXPECT_TRUE(registry.isLoaded(kMathLibrary));

    registry.release(kMathLibrary);
    EXPECT_FALSE(registry.isLoaded(kMathLibrary));
    // A user that still holds it keeps a working handle.
    EXPECT_NE(first->symbol("cos"), nullptr);
    // Opening again after the release makes a new handle.
    const auto third = registry.openFirst({kMathLibrary}).library;
    EXPECT_NE(third, first);
    registry.release("never-opened.so"); // ignored
}

TEST(SharedLibraryRegistry, SaysWhyEveryCandidateFailed)
{
    dynlib::Registry registry;
    const dynlib::OpenResult opened =
        registry.openFirst({"liborvane-missing-a.so", kMathLibrary, "liborvane-missing-b.so"},
                           false, "orvane_no_such_symbol");
    EXPECT_EQ(opened.library, nullptr);
    EXPECT_NE(opened.reasons.find("liborvane-missing-a.so"), std::string::npos);
    EXPECT_NE(opened.reasons.find(std::string(kMathLibrary) + " has no orvane_no_such_symbol"),
              std::string::npos);
    EXPECT_NE(opened.reasons.find("liborvane-missing-b.so"), std::string::npos);
    // A library without the required symbol is not kept.
    EXPECT_FALSE(registry.isLoaded(kMathLibrary));
}

} // namespace
