// The frame's heap: an allocation that cannot be satisfied ends the process
// through the error report.
#include "tests/unit/test_program.h"

#include <limits>
#include <new>
#include <utility>

namespace {

class Heap : public ProgramTest {};

TEST_F(Heap, AllocationThatCannotBeSatisfiedIsReported)
{
    static bool ran;
    if (std::exchange(ran, true))
        GTEST_SKIP() << "the frame reports running out of memory once per process";
    testprog::start();
    volatile std::size_t huge = std::numeric_limits<std::size_t>::max() / 2;
    try {
        void* p = ::operator new(huge);
        ::operator delete(p);
        FAIL() << "the allocation succeeded";
    } catch (const rec::Exit& e) {
        EXPECT_EQ(e.code, -1);
    }
    ASSERT_EQ(rec::reports().size(), 1u);
    EXPECT_EQ(rec::reports()[0].title, "错误");
    EXPECT_EQ(rec::reports()[0].text, harness::report_text("分配 " + std::to_string(huge) + " 字节内存失败!"));
    EXPECT_EQ(rec::count("destroy top 'A'"), 1u);
}

}  // namespace
