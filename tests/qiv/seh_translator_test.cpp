#include "qiv/seh_translator.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdint>
#include <string>
#include <thread>

TEST(SehText, FormatsTheFaultRecord) {
    const std::string text =
        qiv::formatSehText(0xC0000005u, 0, nullptr, reinterpret_cast<const void*>(0x7ff6a1b2), 2);
    const std::string head = "XException(";
    const std::string tail =
        ")#54 `anonymous-namespace'::usrSEH: code 0xc0000005, flags 0x0, extra 0x0, "
        "ip 0x7ff6a1b2, arg#2";
    ASSERT_EQ(text.size(), head.size() + 11 + tail.size()) << text;
    EXPECT_EQ(text.substr(0, head.size()), head);
    EXPECT_EQ(text.substr(head.size() + 11), tail);
    // The build date, as in "Oct 30 2025".
    const std::string date = text.substr(head.size(), 11);
    EXPECT_EQ(date[3], ' ');
    EXPECT_EQ(date[6], ' ');
    EXPECT_EQ(date.substr(0, 3), std::string(__DATE__).substr(0, 3));

    const std::string other = qiv::formatSehText(
        0xC0000094u, 0x1u, reinterpret_cast<const void*>(0xABCDEF), nullptr, 0x1F);
    EXPECT_NE(other.find(": code 0xc0000094, flags 0x1, extra 0xabcdef, ip 0x0, arg#1f"),
              std::string::npos)
        << other;
}

TEST(SehTranslator, InstallsPerThreadAndUpdatesTheChainingChoice) {
    std::thread([] {
        EXPECT_FALSE(qiv::sehTranslatorInstalled());
        qiv::installSehTranslator(true);
        EXPECT_TRUE(qiv::sehTranslatorInstalled());
        EXPECT_TRUE(qiv::sehTranslatorChains());
        qiv::installSehTranslator(false);
        EXPECT_TRUE(qiv::sehTranslatorInstalled());
        EXPECT_FALSE(qiv::sehTranslatorChains());
        // Another thread has its own flags.
        std::thread([] { EXPECT_FALSE(qiv::sehTranslatorInstalled()); }).join();
    }).join();
    EXPECT_FALSE(qiv::sehTranslatorInstalled());
}

// The real handler is tried only on POSIX, in a child process: a fault on purpose under wine
// would stop the whole test program.
#if !defined(_WIN32)

TEST(SehTranslatorDeathTest, ReportsAFaultAndEndsTheProcess) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            qiv::installSehTranslator(false);
            std::raise(SIGSEGV);
        },
        "XException\\(.*\\)#54 `anonymous-namespace'::usrSEH: code 0xc0000005, flags 0x0, "
        "extra 0x0, ip 0x[0-9a-f]+, arg#2");
    EXPECT_DEATH(
        {
            qiv::installSehTranslator(false);
            std::raise(SIGILL);
        },
        "usrSEH: code 0xc000001d, .*arg#0");
}

TEST(SehTranslatorDeathTest, ReportsARealAccessViolation) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            qiv::installSehTranslator(false);
            volatile std::uintptr_t address = 16;
            *reinterpret_cast<volatile int*>(address) = 1;
        },
        "usrSEH: code 0xc0000005, flags 0x0, extra 0x0, ip 0x[0-9a-f]+, arg#2");
}

#endif
