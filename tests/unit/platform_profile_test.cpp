// Reading the parameter file through the platform's profile functions.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "platform/platform.h"
#include "support/test_env.h"

namespace {

using xvr::platform::ProfileString;

class PlatformProfile : public ::testing::Test {
protected:
    std::u16string Write(const std::string &bytes) {
        xvr::test::WriteFileBytes(m_dir.path() / "XVR.XVR", bytes);
        return File();
    }
    std::u16string File() const { return (m_dir.path() / "XVR.XVR").u16string(); }
    std::u16string Get(const std::u16string &section, const std::u16string &key,
                       uint32_t size = 100) {
        return ProfileString(File(), section, key, u"dflt", size);
    }

    xvr::test::TempDir m_dir;
};

TEST_F(PlatformProfile, NamesIgnoreCaseAndBlanksValuesAreTrimmedAndUnquoted) {
    Write(
        "[Other]\nLogFunctions=wrong\n"
        "  [ XVR ]  \n"
        "  logfunctions  =   Yes  \n"
        "Quoted=\"  a b  \"\n"
        "Single='x'\n"
        "Mixed=\"x'\n"
        "Twice=\"\"x\"\"\n"
        "Inner=a \"b\" c\n"
        "Empty=\n"
        "Equals=a=b\n"
        "LogFunctions=second\n");
    EXPECT_EQ(Get(u"xvr", u"LOGFUNCTIONS"), u"Yes");
    EXPECT_EQ(Get(u"XVR", u"Quoted"), u"  a b  ");
    EXPECT_EQ(Get(u"XVR", u"Single"), u"x");
    EXPECT_EQ(Get(u"XVR", u"Mixed"), u"\"x'");
    EXPECT_EQ(Get(u"XVR", u"Twice"), u"\"x\"");
    EXPECT_EQ(Get(u"XVR", u"Inner"), u"a \"b\" c");
    EXPECT_EQ(Get(u"XVR", u"Empty"), u"");
    EXPECT_EQ(Get(u"XVR", u"Equals"), u"a=b");
}

TEST_F(PlatformProfile, DefaultsForWhatIsMissingOrCommentedOut) {
    EXPECT_EQ(Get(u"XVR", u"LogData"), u"dflt");  // no file yet
    Write("; [XVR]\n[XVR]\n;LogData=Yes\nLogFunctions=Yes\n[Quv GPIB]\nBASEADDRESS=300\n");
    EXPECT_EQ(Get(u"XVR", u"LogData"), u"dflt");
    EXPECT_EQ(Get(u"Missing", u"LogFunctions"), u"dflt");
    EXPECT_EQ(Get(u"XVR", u"BASEADDRESS"), u"dflt");
    EXPECT_EQ(Get(u"quv gpib", u"BaseAddress"), u"300");
}

TEST_F(PlatformProfile, ResultIsCutToSizeMinusOne) {
    Write("[XVR]\nLogFunctions=YesPlease\n");
    EXPECT_EQ(Get(u"XVR", u"LogFunctions", 4), u"Yes");
    EXPECT_EQ(Get(u"XVR", u"LogFunctions", 10), u"YesPlease");
    EXPECT_EQ(Get(u"XVR", u"LogFunctions", 1), u"");
    EXPECT_EQ(Get(u"XVR", u"LogFunctions", 0), u"");
    EXPECT_EQ(Get(u"XVR", u"Missing", 3), u"df");  // the default too

    const xvr::platform::Profile profile(File());
    EXPECT_EQ(profile.StringA("XVR", "logfunctions", "No", 8), "YesPlea");
    EXPECT_EQ(profile.StringA("Quv GPIB", "INTERFACETYPE", "RV2", 8), "RV2");
}

TEST_F(PlatformProfile, FilesWrittenOnWindowsReadTheSame) {
    Write("[XVR]\r\nLogFunctions = Yes\r\nLogData=\"No\"\r\n");
    EXPECT_EQ(Get(u"XVR", u"LogFunctions"), u"Yes");
    EXPECT_EQ(Get(u"XVR", u"LogData"), u"No");

    // UTF-16LE with its byte-order mark
    const std::u16string text = u"[Quv GPIB]\r\nBASEADDRESS=Grüße\r\n";
    std::string bytes = "\xFF\xFE";
    for (char16_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    Write(bytes);
    EXPECT_EQ(Get(u"quv gpib", u"BaseAddress"), u"Grüße");
}

TEST_F(PlatformProfile, ArbitraryContentNeverBreaksTheReader) {
    const char alphabet[] = "[]=;\"' \t\r\nXVRx\0\xFF\xFE\xC3";
    std::mt19937 random(7);
    for (int round = 0; round < 300; ++round) {
        std::string bytes(random() % 64, '\0');
        for (char &c : bytes) c = alphabet[random() % (sizeof alphabet - 1)];
        Write(bytes);
        const std::u16string value = Get(u"XVR", u"X", 8);
        EXPECT_LE(value.size(), 7u);
    }
}

#ifndef _WIN32
TEST_F(PlatformProfile, Utf8WithByteOrderMarkAndByteBudget) {
    Write("\xEF\xBB\xBF[XVR]\nName=\xC3\xA4\xC3\xB6\xC3\xBC\n");
    EXPECT_EQ(Get(u"XVR", u"Name"), u"äöü");
    // The narrow size counts bytes, and a character is never split.
    const xvr::platform::Profile profile(File());
    EXPECT_EQ(profile.StringA("XVR", "Name", "", 4), "\xC3\xA4");
    EXPECT_EQ(profile.StringA("XVR", "Name", "", 7), "\xC3\xA4\xC3\xB6\xC3\xBC");
}

// A parameter file that is not a regular file, or is too large, reads as if
// it held no key, at once: nothing waits on a FIFO or reads a device whole.
TEST_F(PlatformProfile, OnlyARegularFileOfAtMostOneMebibyteIsRead) {
    const std::string body = "[XVR]\nLogFunctions=Yes\n";
    std::string padded = body + std::string(xvr::platform::kMaxProfileBytes - body.size(), ';');
    Write(padded);
    EXPECT_EQ(Get(u"XVR", u"LogFunctions"), u"Yes");
    Write(padded + ";");
    EXPECT_EQ(Get(u"XVR", u"LogFunctions"), u"dflt");

    const auto path = m_dir.path() / "XVR.XVR";
    std::filesystem::remove(path);
    std::filesystem::create_symlink("/dev/zero", path);
    EXPECT_EQ(Get(u"XVR", u"LogFunctions"), u"dflt");
    std::filesystem::remove(path);
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    EXPECT_EQ(Get(u"XVR", u"LogFunctions"), u"dflt");
    std::filesystem::remove(path);
    std::filesystem::create_directory(path);
    EXPECT_EQ(Get(u"XVR", u"LogFunctions"), u"dflt");
}
#endif

}  // namespace
