// Error texts, the string table, time, files, the parameter directory and
// dynamic loading.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <optional>
#include <string>

#include "platform/deadline.h"
#include "platform/platform.h"
#include "support/test_env.h"

#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <sys/time.h>
#endif

namespace {

namespace platform = xvr::platform;

bool EndsWith(const std::u16string &s, const std::u16string &end) {
    return s.size() >= end.size() && s.compare(s.size() - end.size(), end.size(), end) == 0;
}

using xvr::test::ScopedEnv;

TEST(PlatformSystem, ErrorTextsEndInALineBreak) {
#ifdef _WIN32
    const uint32_t notFound = 2;  // ERROR_FILE_NOT_FOUND
#else
    const uint32_t notFound = ENOENT;
#endif
    const std::u16string text = platform::SystemErrorText(notFound);
    EXPECT_GT(text.size(), 2u);
    EXPECT_TRUE(EndsWith(text, u"\r\n"));
}

TEST(PlatformSystem, StringTableTextsAreWhole) {
    const std::u16string gpib = platform::LoadResourceText(11019);
    EXPECT_NE(gpib.find(u"\"Dev 0\" bis \"Dev30\""), std::u16string::npos);
    EXPECT_TRUE(EndsWith(platform::LoadResourceText(11011), u"%s "));
    EXPECT_EQ(platform::LoadResourceText(11000), u"Die gewählte Schnittstelle ist nicht geöffnet.");
    EXPECT_NE(platform::LoadResourceText(11001).find(u"Fehler:\n  %s"), std::u16string::npos);
    EXPECT_TRUE(platform::LoadResourceText(10999).empty());
    EXPECT_TRUE(platform::LoadResourceText(11027).empty());
}

TEST(PlatformSystem, SleepWaitsAtLeastItsTime) {
#ifndef _WIN32
    // A signal in the middle must not cut the sleep short.
    struct sigaction action {};
    action.sa_handler = [](int) {};
    struct sigaction old {};
    sigaction(SIGALRM, &action, &old);
    itimerval timer{};
    timer.it_value.tv_usec = 20000;
    setitimer(ITIMER_REAL, &timer, nullptr);
#endif
    const uint64_t start = platform::MonotonicMs();
    platform::SleepMs(80);
    const uint64_t elapsed = platform::MonotonicMs() - start;
#ifndef _WIN32
    sigaction(SIGALRM, &old, nullptr);
#endif
#ifdef _WIN32
    // GetTickCount64 moves in steps of the system timer (about 16 ms), so a
    // whole sleep may read as one step short.
    constexpr uint64_t kTickStep = 16;
#else
    constexpr uint64_t kTickStep = 0;
#endif
    EXPECT_GE(elapsed, 75u - kTickStep);
    EXPECT_LT(elapsed, 5000u);
}

TEST(PlatformSystem, DeadlinesCountDownAndNeverWrap) {
    EXPECT_TRUE(xvr::Deadline::In(0).Expired());
    EXPECT_EQ(xvr::Deadline::In(-5).Remaining(), 0u);
    // Beyond a 32-bit wait: the longest one is handed on, again and again.
    const auto far = xvr::Deadline::In(int64_t{1} << 40);
    EXPECT_FALSE(far.Expired());
    EXPECT_EQ(far.Remaining(), UINT32_MAX);
    const auto soon = xvr::Deadline::In(30);
    EXPECT_LE(soon.Remaining(), 30u);
    platform::SleepMs(60);  // more than a Windows tick past the deadline
    EXPECT_TRUE(soon.Expired());
    EXPECT_EQ(soon.Remaining(), 0u);
    EXPECT_GE(soon.Elapsed(), 30u);
}

TEST(PlatformSystem, FilesOpenByWidePath) {
    xvr::test::TempDir dir;
    const std::u16string path = dir.path().u16string() + u"/Prüfung.log";
    std::FILE *f = platform::OpenFile(path, "wb");
    ASSERT_NE(f, nullptr);
#ifndef _WIN32
    EXPECT_NE(fcntl(fileno(f), F_GETFD) & FD_CLOEXEC, 0);
#endif
    std::fputs("XVR", f);
    std::fclose(f);
    f = platform::OpenFile(path, "rb");
    ASSERT_NE(f, nullptr);
    char buffer[8] = {};
    EXPECT_EQ(std::fread(buffer, 1, sizeof buffer, f), 3u);
    std::fclose(f);
    EXPECT_EQ(platform::OpenFile(path + std::u16string(1, u'\0') + u"x", "rb"), nullptr);
}

TEST(PlatformSystem, ParameterDirectoryFromXvrDir) {
#ifdef _WIN32
    const std::string base = "C:\\xvr-test";
    const std::u16string expected = u"C:\\xvr-test\\";
#else
    const std::string base = "/tmp/xvr-test";
    const std::u16string expected = u"/tmp/xvr-test/";
#endif
    {
        ScopedEnv env("XVR_DIR", base);
        EXPECT_EQ(platform::ParameterDirectory(), expected);
    }
    {
        ScopedEnv env("XVR_DIR", base + (expected.back() == u'/' ? "/" : "\\"));
        EXPECT_EQ(platform::ParameterDirectory(), expected);
    }
}

TEST(PlatformSystem, ParameterDirectoryWithoutXvrDir) {
    ScopedEnv noDir("XVR_DIR", std::nullopt);
#ifdef _WIN32
    // No base library here: it reports nothing.
    EXPECT_EQ(platform::ParameterDirectory(), u"c:\\XVR\\");
#else
    ScopedEnv home("HOME", std::string("/home/someone"));
    {
        ScopedEnv xdg("XDG_CONFIG_HOME", std::string("/cfg"));
        EXPECT_EQ(platform::ParameterDirectory(), u"/cfg/xvr/");
    }
    {
        ScopedEnv xdg("XDG_CONFIG_HOME", std::string("relative/cfg"));
        EXPECT_EQ(platform::ParameterDirectory(), u"/home/someone/.config/xvr/");
    }
    ScopedEnv xdg("XDG_CONFIG_HOME", std::nullopt);
    EXPECT_EQ(platform::ParameterDirectory(), u"/home/someone/.config/xvr/");
    ScopedEnv noHome("HOME", std::nullopt);
    EXPECT_EQ(platform::ParameterDirectory(), u"/etc/xvr/");
#endif
}

TEST(PlatformSystem, LibrariesLoadByName) {
#ifdef _WIN32
    EXPECT_EQ(platform::LibraryFileName(u"QUVIEC.DLL"), u"QUVIEC.DLL");
    const std::u16string present = u"kernel32.dll";
    const char *symbol = "GetTickCount";
#else
    EXPECT_EQ(platform::LibraryFileName(u"QUVIEC.DLL"), u"libquviec.so");
    EXPECT_EQ(platform::LibraryFileName(u"QUVIEC2.DLL"), u"libquviec2.so");
    EXPECT_EQ(platform::LibraryFileName(u"Bus.dll"), u"libbus.so");
    EXPECT_EQ(platform::LibraryFileName(u"./dir/QUVIEC.DLL"), u"./dir/QUVIEC.DLL");
    const std::u16string present = u"libc.so.6";
    const char *symbol = "strlen";
#endif
    std::u16string error;
    void *library = platform::LoadLibraryFile(present, &error);
    ASSERT_NE(library, nullptr) << platform::WideToAnsi(error);
    EXPECT_NE(platform::LibrarySymbol(library, symbol), nullptr);
    EXPECT_EQ(platform::LibrarySymbol(library, "NoSuchEntryPoint"), nullptr);
    platform::FreeLibraryFile(library);

    EXPECT_EQ(platform::LoadLibraryFile(platform::LibraryFileName(u"NOSUCHLIB.DLL"), &error),
              nullptr);
    EXPECT_GT(error.size(), 2u);
    EXPECT_TRUE(EndsWith(error, u"\r\n"));
}

}  // namespace
