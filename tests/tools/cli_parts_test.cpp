// The parts of xvr whose faults the binary's tests would only show as odd
// output: text encodings, the log layout, and the checks at their limits.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <tuple>
#include <utility>

#include "device.h"
#include "hex.h"
#include "log_view.h"
#include "options.h"
#include "param_rules.h"
#include "script.h"
#include "utf.h"
#include "verbose_log.h"

namespace xvrcli {
namespace {

std::string Utf16(const std::u16string &text) {
    std::string bytes;
    for (char16_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    return bytes;
}

TEST(XvrUtf, Utf16ToUtf8KeepsPairsAndReplacesLoneSurrogates) {
    EXPECT_EQ(Utf16LeToUtf8(Utf16(u"gr\u00FC\u00DF \U0001F600")),
              "gr\xC3\xBC\xC3\x9F \xF0\x9F\x98\x80");
    EXPECT_EQ(Utf16LeToUtf8(Utf16(u"a") + std::string("\x00\xD8", 2) + Utf16(u"b")),
              "a\xEF\xBF\xBD"
              "b");
    EXPECT_EQ(Utf16LeToUtf8(Utf16(u"a") + std::string("\x00\xDC", 2)), "a\xEF\xBF\xBD");
    EXPECT_EQ(Utf16LeToUtf8(Utf16(u"ab") + "x"), "ab");  // an odd last byte
}

TEST(XvrUtf, FilesKeepTheirEncodingThroughDecodeAndEncode) {
    for (const std::string &file :
         {std::string("\xFF\xFE") + Utf16(u"[COM]\r\nCOM3=/dev/\u00E4\r\n"),
          std::string("\xEF\xBB\xBF[XVR]\n"), std::string("plain \xFC\n")}) {
        Encoding encoding;
        const std::string text = DecodeFile(file, &encoding);
        EXPECT_EQ(EncodeFile(text, encoding), file);
    }
    Encoding encoding;
    EXPECT_EQ(DecodeFile(std::string("\xFF\xFE") + Utf16(u"\u00E4"), &encoding), "\xC3\xA4");
    // Bytes that are not UTF-8 stand for themselves rather than being lost.
    EXPECT_EQ(Utf8ToUtf16Le("\xFC"
                            "a\xE4"),
              Utf16(u"\u00FC"
                    "a\u00E4"));
}

TEST(XvrLogView, DataLinesBecomeRowsWithTheirAscii) {
    EXPECT_EQ(FormatLogLine("  Data: 41 0D FF "),
              "  Data: 41 0D FF" + std::string(41, ' ') + "|A..|\n");
    for (const std::string as_is : {"  Data: ", "  Data: 4X ", "flXVRRead(0x1)"})  // not data rows
        EXPECT_EQ(FormatLogLine(as_is), as_is + "\n");
    std::string line = "  Data: ";
    for (int i = 0; i < 17; ++i) line += "7E ";
    const std::string rows = FormatLogLine(line);
    EXPECT_EQ(rows.substr(rows.find('\n') + 1), "        7E" + std::string(46, ' ') + " |~|\n");
}

TEST(XvrLogView, OnlyCompleteLinesAreTakenUnlessAllAreWanted) {
    const std::string bytes =
        std::string("\xFF\xFE") + Utf16(u"XVRInit\r\nflXVRClose(0x1)\r\n  sta");
    std::string out;
    const size_t used = FormatLogBytes(bytes, false, &out);
    EXPECT_EQ(used, bytes.size() - Utf16(u"  sta").size());
    EXPECT_EQ(FormatLogBytes(bytes.substr(used), true, &out), bytes.size() - used);
    EXPECT_EQ(FormatLogBytes("\xFF\xFE", false, &out), 2u);
    EXPECT_EQ(out, "XVRInit\nflXVRClose(0x1)\n  sta\n");
}

TEST(XvrVerboseLog, LoggingIsSwitchedOnOnlyInTheXvrSection) {
    const std::string user =
        "[XVR]\r\nlogfunctions = "
        "no\r\nLogData=No\r\nOther=1\r\n[COM]\r\nLogData=kept\r\nCOM3=/dev/x\r\n";
    EXPECT_EQ(WithLoggingOn(user),
              "[XVR]\nLogFunctions=Yes\nLogData=Yes\n"
              "[XVR]\r\nOther=1\r\n[COM]\r\nLogData=kept\r\nCOM3=/dev/x\r\n");
    EXPECT_EQ(WithLoggingOn(""), "[XVR]\nLogFunctions=Yes\nLogData=Yes\n");
    const std::string utf16 = WithLoggingOn(std::string("\xFF\xFE") + Utf16(u"[COM]\r\n"));
    EXPECT_EQ(utf16,
              std::string("\xFF\xFE") + Utf16(u"[XVR]\nLogFunctions=Yes\nLogData=Yes\n[COM]\r\n"));
}

TEST(XvrChecks, DurationsAtTheirLimits) {
    for (const auto &[text, ms] :
         {std::pair{"2s", 2000}, {"500ms", 500}, {"3600000", 3600000}, {"3600s", 3600000}})
        EXPECT_EQ(ParseDuration(text, "t"), ms) << text;
    for (const char *bad :
         {"0", "0s", "3600001", "3601s", "1.5", "ms", "s", "-1", "2 s", "", "99999999999999999999"})
        EXPECT_THROW(ParseDuration(bad, "t"), UsageError) << bad;
}

TEST(XvrChecks, DelimitersNeedTwoHexDigitsPerEscape) {
    for (const char *good : {"", "\\0D\\0A", "END", "\\ff", "a\\5Cb"})
        EXPECT_NO_THROW(CheckDelimiter(good)) << good;
    for (const char *bad : {"\\", "\\0", "\\7Z", "a\\", "\\ 7", "\\+1"})
        EXPECT_THROW(CheckDelimiter(bad), UsageError) << bad;
    std::string longest;
    for (int i = 0; i < 100; ++i) longest += i % 2 ? "x" : "\\0D";
    EXPECT_NO_THROW(CheckDelimiter(longest));
    EXPECT_THROW(CheckDelimiter(longest + "x"), UsageError);
}

TEST(XvrChecks, NetworkAddressesNeedAPortIn1To65535) {
    const DriverInfo &tcp = FindDriver(" tcp/ip ");
    for (const char *good : {"127.0.0.1:1", "instrument:65535"})
        EXPECT_NO_THROW(CheckAddress(tcp, good)) << good;
    for (const char *bad : {"127.0.0.1", ":5025", "h:0", "h:65536", "h:", "h:50 25", "h:-1", ""})
        EXPECT_THROW(CheckAddress(tcp, bad), UsageError) << bad;
    EXPECT_NO_THROW(CheckAddress(FindDriver("COM"), "/dev/ttyUSB0"));
    EXPECT_THROW(FindDriver("GPIB"), UsageError);
    for (const char *bad : {"[::1]:5025", "::1:5025", "fe80::1:80"}) {
        try {
            CheckAddress(tcp, bad);
            ADD_FAILURE() << bad;
        } catch (const UsageError &e) {
            EXPECT_NE(std::string(e.what()).find("IPv6 is not supported"), std::string::npos)
                << e.what();
        }
    }
    EXPECT_THROW(CheckAddress(FindDriver("COM"), "ttyS0"), UsageError);
}

TEST(XvrChecks, GpibAddressesAreTheBusAddresses0To30) {
    const DriverInfo &gpib = FindDriver("KX GPIB");
    for (const char *good : {"Dev 0", "Dev30", "dev5", "DEV 5", "Dev 1,96", "Dev 1, 126"})
        EXPECT_NO_THROW(CheckAddress(gpib, good)) << good;
    for (const char *bad : {"Dev31", "Dev 32", "Dev 256", "Dev -1", " Dev 5", "Dev", "Dev 5x",
                            "Dev 1,95", "Dev 1,127", "Dev 1,", "GPIB0::5"})
        EXPECT_THROW(CheckAddress(gpib, bad), UsageError) << bad;
}

TEST(XvrOutput, NothingAnInstrumentSendsCanDriveTheTerminal) {
    EXPECT_EQ(TerminalSafe(std::string("a\x1b[2J\x07\tb\r\n\x7f\0\xC2\xB0", 14)),
              "a\\1B[2J\\07\tb\\0D\n\\7F\\00\xC2\xB0");
    EXPECT_EQ(ShortPrintable(std::string(100, 'x'), 5), "xxxxx... (100 bytes)");
    EXPECT_EQ(ShortPrintable("ab\n", 5), "ab\\0A");
    const std::string rows = ToHexRows(std::string(33, 'A'));
    EXPECT_EQ(rows.substr(rows.size() - 4), "\n41\n");
    EXPECT_EQ(std::count(rows.begin(), rows.end(), '\n'), 2);
    EXPECT_EQ(DelimiterBytes("\\0D\\0aEND\\"), "\r\nEND\\");
}

TEST(XvrOutput, AMissingBusLibraryIsExplainedWithWhereItWasLookedFor) {
    const std::string hint = BusLibraryHint(
        "Die DLL >libquviec2.so< konnte nicht geladen werden. Das Betriebssystem meldet");
    EXPECT_EQ(hint.rfind("The system looks for libquviec2.so in ", 0), 0u) << hint;
    EXPECT_EQ(BusLibraryHint("Die Verbindung zum Host konnte nicht aufgebaut werden."), "");
}

TEST(XvrOptions, ValuesMayBeAttachedAndNegativeNumbersAreArguments) {
    const char *argv[] = {"xvr", "set", "COM", "COM1", "TIMEOUT", "-1", "-t300", "-v", "-d\\0A"};
    const Options o = ParseOptions(9, const_cast<char **>(argv), 2, {Opt::Timeout, Opt::Delimiter});
    EXPECT_EQ(o.args, (std::vector<std::string>{"COM", "COM1", "TIMEOUT", "-1"}));
    EXPECT_EQ(o.timeoutMs, 300);
    EXPECT_EQ(o.delimiter, "\\0A");
    EXPECT_TRUE(o.verbose);
    const char *bad[] = {"xvr", "get", "-x1"};
    EXPECT_THROW(ParseOptions(3, const_cast<char **>(bad), 2, {Opt::Hex}), UsageError);
}

TEST(XvrChecks, SetValuesArePassedOnInTheirPlainForm) {
    const DriverInfo &com = FindDriver("COM");
    for (const auto &[name, value, plain] : {std::tuple{"timeout", "2s", "2000"},
                                             {" parity ", " even ", "EVEN"},
                                             {"HANDSHAKE", "rts/cts", "RTS/CTS"},
                                             {"DATABITS", "5", "5"}})
        EXPECT_EQ(CheckSetValue(com, name, value), plain) << name;
    for (const auto &[name, bad] : {std::pair{"DATABITS", "3"},
                                    {"DATABITS", "9"},
                                    {"DATABITS", "x"},
                                    {"BAUDRATE", "fast"},
                                    {"STOPBITS", "1.5"},
                                    {"BUFFER", "1"}})
        EXPECT_THROW(CheckSetValue(com, name, bad), UsageError) << name << " " << bad;
    EXPECT_THROW(CheckSetValue(FindDriver("UDP"), "BUFFER", "1"), UsageError);  // read only
    EXPECT_NO_THROW(CheckGetName(FindDriver("UDP"), "buffer"));
    EXPECT_THROW(CheckGetName(FindDriver("KX GPIB"), "TIMEOUT"), UsageError);  // set only
}

TEST(XvrScript, LinesAreQueriesByTheirFirstWord) {
    const DriverInfo &gpib = FindDriver("KX GPIB");
    using K = Step::Kind;
    for (const auto &[line, kind] : {std::pair{"  MEAS:VOLT? DC", K::Query},
                                     {"*CLS;*OPC?", K::Query},
                                     {"DISP:TEXT 'why?'", K::Send},
                                     {":read", K::ReadMessage},
                                     {":read 10", K::ReadCount}})
        EXPECT_EQ(ParseStep(line, 1, gpib, false)->kind, kind) << line;
    for (const char *nothing : {"  # *IDN?", " \t\r"})
        EXPECT_FALSE(ParseStep(nothing, 1, gpib, false)) << nothing;
    // In hex the decoded bytes decide.
    const auto hex = ParseStep("2A 49 44 4E 3F", 1, gpib, true);
    EXPECT_EQ(hex->kind, Step::Kind::Query);
    EXPECT_EQ(hex->text, "*IDN?");
    for (const char *bad : {":sleep", ":sleep 1.5", ":read 0", ":get", ":get A B", ":set TIMEOUT x",
                            ":frob", ":quit now"})
        EXPECT_THROW(ParseStep(bad, 1, gpib, false), UsageError) << bad;
}

TEST(XvrScript, AScriptIsRefusedNamingItsFirstBadLine) {
    std::istringstream in("*IDN?\n# fine\n:set DELIMITER \\0A\n\n:sleep soon\n:frob\n");
    try {
        ParseScript(in, "s.txt", FindDriver("TCP/IP"), false);
        FAIL() << "accepted";
    } catch (const UsageError &e) {
        EXPECT_EQ(std::string(e.what()).rfind("s.txt:5: ", 0), 0u) << e.what();
    }
    std::istringstream good("*IDN?\r\n\r\n:get BUFFER\r\n");
    const auto steps = ParseScript(good, "s", FindDriver("TCP/IP"), false);
    ASSERT_EQ(steps.size(), 2u);
    EXPECT_EQ(steps[0].text, "*IDN?");
    EXPECT_EQ(steps[1].line, 3u);
}

}  // namespace
}  // namespace xvrcli
