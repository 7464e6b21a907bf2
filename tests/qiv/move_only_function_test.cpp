#include "qiv/move_only_function.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cstdlib>
#include <functional>
#include <memory>
#include <new>
#include <string>

// Counts the program's allocations, so that a test can see that small callables need none.
static std::atomic<long> g_allocations{0};

void* operator new(std::size_t size) {
    ++g_allocations;
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

// Counts live instances so that tests can see moves destroy what they leave behind.
struct S_Counted {
    static inline int s_live = 0;
    S_Counted() { ++s_live; }
    S_Counted(const S_Counted&) { ++s_live; }
    S_Counted(S_Counted&&) noexcept { ++s_live; }
    ~S_Counted() { --s_live; }
};

int twice(int x) { return 2 * x; }

}  // namespace

TEST(MoveOnlyFunction, EmptyWrapperIsFalseAndThrowsWhenCalled) {
    std_move_only_function<int(int)> a;
    std_move_only_function<int(int)> b = nullptr;
    int (*nullFn)(int) = nullptr;
    std_move_only_function<int(int)> c = nullFn;
    std::function<int(int)> emptyStd;
    std_move_only_function<int(int)> d = std::move(emptyStd);
    for (auto* f : {&a, &b, &c, &d}) {
        EXPECT_FALSE(*f);
        EXPECT_TRUE(*f == nullptr);
        EXPECT_THROW((*f)(1), std::bad_function_call);
    }
}

TEST(MoveOnlyFunction, CallsLambdasFunctionPointersAndMoveOnlyCallables) {
    std_move_only_function<int(int)> f = [](int x) { return x + 1; };
    EXPECT_TRUE(f);
    EXPECT_EQ(f(1), 2);

    f = &twice;
    EXPECT_EQ(f(4), 8);

    auto owned = std::make_unique<int>(40);
    f = [p = std::move(owned)](int x) { return *p + x; };
    EXPECT_EQ(f(2), 42);

    std_move_only_function<std::string(std::string &&)> g = [](std::string&& s) { return s + "!"; };
    EXPECT_EQ(g(std::string("ho")), "ho!");
}

TEST(MoveOnlyFunction, MutableStateSurvivesCallsAndMoves) {
    std_move_only_function<int()> counter = [n = 0]() mutable { return ++n; };
    EXPECT_EQ(counter(), 1);
    EXPECT_EQ(counter(), 2);
    std_move_only_function<int()> moved = std::move(counter);
    EXPECT_FALSE(counter);
    EXPECT_EQ(moved(), 3);
    const auto& constRef = moved;
    EXPECT_EQ(constRef(), 4);
}

TEST(MoveOnlyFunction, SmallAndLargeCallablesAreDestroyedExactlyOnce) {
    S_Counted::s_live = 0;
    {
        std_move_only_function<int()> small = [c = S_Counted()] { return 1; };
        std::array<char, 256> pad{};
        std_move_only_function<int()> large = [c = S_Counted(), pad] { return pad[0] + 2; };
        EXPECT_EQ(S_Counted::s_live, 2);
        std_move_only_function<int()> a = std::move(small);
        std_move_only_function<int()> b = std::move(large);
        EXPECT_EQ(S_Counted::s_live, 2);
        EXPECT_EQ(a() + b(), 3);
        a = std::move(b);  // a's old callable goes, b's moves over
        EXPECT_EQ(S_Counted::s_live, 1);
        EXPECT_EQ(a(), 2);
        a = nullptr;
        EXPECT_EQ(S_Counted::s_live, 0);
    }
    EXPECT_EQ(S_Counted::s_live, 0);
}

TEST(MoveOnlyFunction, SwapExchangesCallables) {
    std_move_only_function<int()> a = [] { return 1; };
    std_move_only_function<int()> b;
    swap(a, b);
    EXPECT_FALSE(a);
    EXPECT_EQ(b(), 1);
}

TEST(MoveOnlyFunction, ConstAndNoexceptSignaturesWork) {
    std_move_only_function<int(int) const> f = [](int x) { return -x; };
    EXPECT_EQ(f(3), -3);
    std_move_only_function<void() noexcept> g = []() noexcept {};
    g();
    EXPECT_TRUE(g);
}

// The wrapper's layout depends on the pointer size alone. It once followed std::max_align_t,
// whose alignment on 32-bit Windows is 8 or 16 depending on the headers a source file includes,
// so a class holding a wrapper had two layouts and a call through it jumped into the stack.
TEST(MoveOnlyFunction, LayoutDependsOnThePointerSizeOnly) {
    static_assert(alignof(std_move_only_function<void()>) == 2 * sizeof(void*));
    static_assert(sizeof(std_move_only_function<void()>) == 6 * sizeof(void*));
    static_assert(sizeof(std_move_only_function<int(int) const>) == 6 * sizeof(void*));
    // A callable aligned beyond the buffer is held on the heap (UBSan checks its alignment),
    // and still called after a move.
    struct alignas(64) C_Wide {
        int operator()() const { return 7; }
    };
    std_move_only_function<int()> f = C_Wide{};
    std_move_only_function<int()> g = std::move(f);
    EXPECT_EQ(g(), 7);
}

TEST(MoveOnlyFunction, CallablesOfThreePointersLiveInline) {
    int a = 1, b = 2, c = 3;
    const long before = g_allocations.load();
    std_move_only_function<int()> f = [pa = &a, pb = &b, pc = &c] { return *pa + *pb + *pc; };
    std_move_only_function<int()> g = std::move(f);
    EXPECT_EQ(g(), 6);
    EXPECT_EQ(g_allocations.load(), before);

    std::array<void*, 16> big{};
    std_move_only_function<int()> h = [big] { return big[0] ? 1 : 0; };
    EXPECT_GT(g_allocations.load(), before);
    EXPECT_EQ(h(), 0);
}
