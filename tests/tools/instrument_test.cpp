// The simulator's instrument files and the behaviour they describe.
#include <gtest/gtest.h>

#include <sstream>
#include <thread>
#include <utility>

#include "instrument.h"

namespace xvrsim {
namespace {

InstrumentModel Parse(const std::string &text) {
    std::istringstream in(text);
    InstrumentModel model;
    std::string error;
    EXPECT_TRUE(ParseInstrument(in, &model, &error)) << error;
    return model;
}

std::string ParseError(const std::string &text) {
    std::istringstream in(text);
    InstrumentModel model;
    std::string error;
    EXPECT_FALSE(ParseInstrument(in, &model, &error)) << text;
    return error;
}

TEST(InstrumentFile, DirectivesCommentsAndAnswers) {
    const auto model = Parse(
        "# a supply\n"
        "\n"
        "  name   Bench supply 2  \n"
        "VOLT? -> 12.0\r\n"
        "meas:curr? dc ->  0.25 A -> really\n"
        "EMPTY? ->\n"
        "bulk CURVE?\n"
        "state shared\n"
        "prop volt 1.0 min -5 max 30\n"
        "block curv? 1000\n");
    EXPECT_EQ(model.name, "Bench supply 2");
    EXPECT_EQ(model.answers.at("VOLT?"), "12.0");
    // Only the first arrow separates; the command is matched upper-cased.
    EXPECT_EQ(model.answers.at("MEAS:CURR? DC"), "0.25 A -> really");
    EXPECT_EQ(model.answers.at("EMPTY?"), "");
    EXPECT_EQ(model.bulkQueries, std::vector<std::string>{"CURVE?"});
    EXPECT_TRUE(model.sharedState);
    EXPECT_EQ(model.properties.at("VOLT").value, "1.0");
    EXPECT_EQ(model.properties.at("VOLT").min, -5.0);  // negative bounds parse
    EXPECT_EQ(model.blocks.at("CURV?"), 1000u);
    EXPECT_FALSE(Parse("state per-transport\n").sharedState);
}

TEST(InstrumentFile, FaultsNameTheirLine) {
    EXPECT_EQ(
        ParseError("VOLT? -> 1\nbogus line\n"),
        "line 2: neither 'QUERY -> ANSWER' nor name, state, delay, error, prop, block or bulk: "
        "bogus line");
    EXPECT_NE(ParseError("A? -> 1\na? -> 2\n").find("second answer"), std::string::npos);
    EXPECT_EQ(ParseError("prop VOLT 1\nprop volt 2\n"), "line 2: second prop VOLT");
    EXPECT_EQ(ParseError("block A? 1\nblock a? 2\n"), "line 2: second block A?");
    for (const char *bad : {"-> 1\n",
                            "delay x A?\n",
                            "delay -1 A?\n",
                            "delay 600001 A?\n",
                            "delay 10\n",
                            "error\n",
                            "bulk\n",
                            "delay 99999999999999999999 A?\n",
                            "state\n",
                            "state both\n",
                            "prop\n",
                            "prop VOLT\n",
                            "prop VOLT? 1\n",
                            "prop VOLT 1 min\n",
                            "prop VOLT 1 min x\n",
                            "prop VOLT 1 top 3\n",
                            "prop VOLT 1 min 5 max 2\n",
                            "prop VOLT 40 max 30\n",
                            "prop VOLT abc min 0\n",
                            "block\n",
                            "block CURV?\n",
                            "block 1000\n",
                            "block CURV? many\n",
                            "block CURV? 268435457\n"})
        EXPECT_NE(ParseError(bad).find("line 1"), std::string::npos) << bad;
}

TEST(Instrument, AnswersDelaysAndErrorQueue) {
    Instrument in(Parse("A? -> yes\ndelay 30 A?\ndelay 2 *\nerror 1,\"first\"\n"));
    const auto reply = in.Handle("  a?  ");
    ASSERT_TRUE(reply);
    EXPECT_EQ(std::pair(reply->data, reply->delayMs), std::pair(std::string("yes"), 30u));
    EXPECT_FALSE(in.Handle("UNKNOWN?"));        // queues -113
    EXPECT_FALSE(in.Handle("SOME:SETTING 5"));  // commands are accepted silently
    EXPECT_EQ(in.Handle("SYST:ERR?")->data, "1,\"first\"");
    EXPECT_EQ(in.Handle("syst:err?")->data, "-113,\"Undefined header\"");
    EXPECT_EQ(in.Handle("SYST:ERR?")->delayMs, 2u);
    EXPECT_EQ(in.Handle("SYST:ERR?")->data, "0,\"No error\"");

    in.Handle("NOPE?");
    EXPECT_FALSE(in.Handle("*CLS"));
    EXPECT_EQ(in.Handle("SYST:ERR?")->data, "0,\"No error\"");
}

TEST(Instrument, PropertiesAnswerTheirValueAndRefuseBadSets) {
    Instrument in(
        Parse("prop VOLT 1.0 min 0 max 30\nprop MODE dc\nprop LOW 5 min 1\ndelay 7 VOLT?\n"));
    EXPECT_EQ(in.Handle("volt?")->data, "1.0");
    EXPECT_EQ(in.Handle("VOLT?")->delayMs, 7u);
    EXPECT_FALSE(in.Handle("VOLT 2.5"));  // a set has no answer
    EXPECT_EQ(in.Handle("VOLT?")->data, "2.5");
    // The value keeps its case; words after the name form the value.
    in.Handle("mode Pulse");
    EXPECT_EQ(in.Handle("MODE?")->data, "Pulse");
    EXPECT_EQ(in.Handle("SYST:ERR?")->data, "0,\"No error\"");

    // Refused sets keep the value and queue their error, in order.
    for (const char *bad : {"VOLT 30.5", "VOLT -1", "VOLT abc", "VOLT", "LOW 0.5", "VOLT 1e999"})
        EXPECT_FALSE(in.Handle(bad)) << bad;
    EXPECT_EQ(in.Handle("VOLT?")->data, "2.5");
    EXPECT_EQ(in.Handle("LOW?")->data, "5");
    for (const char *error :
         {"-222,\"Data out of range\"", "-222,\"Data out of range\"", "-104,\"Data type error\"",
          "-109,\"Missing parameter\"", "-222,\"Data out of range\"", "-104,\"Data type error\""})
        EXPECT_EQ(in.Handle("SYST:ERR?")->data, error);
    // Bounds are inclusive.
    in.Handle("VOLT 30");
    EXPECT_EQ(in.Handle("VOLT?")->data, "30");
}

TEST(Instrument, BlocksCarryTheirLengthAndLineEndsInTheData) {
    Instrument in(Parse("block CURV? 1000\nblock TINY? 3\nblock NONE? 0\n"));
    const std::string block = in.Handle("curv?")->data;
    ASSERT_EQ(block.size(), 6u + 1000u);
    EXPECT_EQ(block.substr(0, 6), "#41000");
    EXPECT_EQ(block[6], '\n');  // the data starts with the delimiter a reader might stop at
    EXPECT_NE(block.find('\r', 6), std::string::npos);
    EXPECT_EQ(block.back(), static_cast<char>((999 + 10) % 256));
    EXPECT_EQ(in.Handle("TINY?")->data, "#13\n\x0B\x0C");
    EXPECT_EQ(in.Handle("NONE?")->data, "#10");
}

TEST(Instrument, BulkAnswersAreBoundedAndFreeOfLineEnds) {
    Instrument in(DefaultInstrument());
    EXPECT_EQ(in.Handle("*IDN?")->data.rfind("XVR-SIM,", 0), 0u);
    const auto bulk = in.Handle("DATA? 100000");
    ASSERT_TRUE(bulk);
    ASSERT_EQ(bulk->data.size(), 100000u);
    EXPECT_EQ(bulk->data.find_first_of("\r\n"), std::string::npos);
    EXPECT_EQ(in.Handle("DATA? 0")->data, "");
    // Beyond the bound, or not a number: an unknown query, nothing allocated.
    for (const std::string &count : {std::to_string(kMaxBulkBytes + 1), std::string("-5"),
                                     std::string("99999999999999999999")})
        EXPECT_FALSE(in.Handle("DATA? " + count)) << count;
    EXPECT_EQ(in.Handle("SYST:ERR?")->data, "-113,\"Undefined header\"");
}

TEST(InstrumentStatus, RegistersFollowIeee488) {
    Instrument in(DefaultInstrument());
    EXPECT_EQ(in.Handle("*STB?")->data, "0");
    EXPECT_EQ(in.StatusByte(true), 0x10);  // MAV only where the transport says so
    // One line, several commands; the answers are joined.
    EXPECT_EQ(in.Handle("*SRE 255;*ESE 33;*SRE?;*ESE?")->data, "191;33");
    EXPECT_EQ(in.Handle("*OPC?")->data, "1");
    in.Handle("*OPC");
    EXPECT_EQ(in.StatusByte(false), 0x20 | 0x40);  // ESB, and the summary of it
    EXPECT_EQ(in.Handle("*ESR?")->data, "1");      // read ...
    EXPECT_EQ(in.Handle("*ESR?")->data, "0");      // ... and cleared
    EXPECT_EQ(in.StatusByte(false), 0);

    // Errors fill the queue (EAV) and set their class's event bit.
    in.Handle("NOPE?");     // command error, ESR bit 5
    in.Handle("*ESE 300");  // execution error, bit 4; ESE stays
    in.Handle("*SRE x");    // command error again
    EXPECT_EQ(in.Handle("*ESE?")->data, "33");
    EXPECT_EQ(in.StatusByte(false), 0x04 | 0x20 | 0x40);
    EXPECT_EQ(in.Handle("*ESR?")->data, "48");
    // *CLS empties the queue and the event register; the enables stay.
    in.Handle("*OPC");
    in.Handle("*CLS");
    EXPECT_EQ(in.Handle("*STB?")->data, "0");
    EXPECT_EQ(in.Handle("SYST:ERR?")->data, "0,\"No error\"");
    EXPECT_EQ(in.Handle("*SRE?")->data, "191");

    // A file's own answer wins over the built-in one.
    Instrument own(Parse("*STB? -> 99\nA;B? -> joined\n"));
    EXPECT_EQ(own.Handle("*STB?")->data, "99");
    EXPECT_EQ(own.Handle("a;b?")->data, "joined");
}

TEST(InstrumentStatus, ErrorQueueIsBounded) {
    Instrument in(DefaultInstrument());
    for (size_t i = 0; i < kMaxErrorQueue + 50; ++i) in.Handle("NOPE?");
    for (size_t i = 1; i < kMaxErrorQueue; ++i)
        ASSERT_EQ(in.Handle("SYST:ERR?")->data, "-113,\"Undefined header\"");
    EXPECT_EQ(in.Handle("SYST:ERR?")->data, "-350,\"Queue overflow\"");
    EXPECT_EQ(in.Handle("SYST:ERR?")->data, "0,\"No error\"");
}

TEST(InstrumentStatus, ServiceRequestsOnceForEachRisingEdge) {
    Instrument in(DefaultInstrument());
    in.Handle("*OPC");
    EXPECT_FALSE(in.TakeServiceRequest());  // SRE 0: no request
    in.Handle("*CLS;*SRE 32;*ESE 1;*OPC");
    EXPECT_TRUE(in.TakeServiceRequest());
    EXPECT_FALSE(in.TakeServiceRequest());
    in.Handle("*OPC");  // the summary is still high: no new edge
    EXPECT_FALSE(in.TakeServiceRequest());
    in.Handle("*ESR?");
    in.Handle("*OPC");
    EXPECT_TRUE(in.TakeServiceRequest());
    EXPECT_EQ(in.StatusByte(false), 0x60);

    // SIM:SRQ: a new request each time while SRE enables the user bit.
    in.Handle("*CLS;*SRE 1");
    in.Handle("SIM:SRQ");
    in.Handle("SIM:SRQ");
    EXPECT_EQ(in.Handle("*STB?")->data, "65");
    EXPECT_TRUE(in.TakeServiceRequest());
    EXPECT_TRUE(in.TakeServiceRequest());
    EXPECT_FALSE(in.TakeServiceRequest());
    in.Handle("*SRE 0;SIM:SRQ");
    EXPECT_FALSE(in.TakeServiceRequest());
    EXPECT_EQ(in.StatusByte(false), 0x01);
}

TEST(InstrumentStatus, TriggersAndClearsCountFromAnyThread) {
    Instrument in(DefaultInstrument());
    std::thread other([&] {
        for (int i = 0; i < 500; ++i) {
            in.Trigger();
            in.DeviceClear();
            in.StatusByte(i % 2 == 0);
        }
    });
    for (int i = 0; i < 500; ++i) in.Handle("*TRG");
    other.join();
    EXPECT_EQ(in.Handle("TRIG:COUNT?")->data, "1000");
    EXPECT_EQ(in.Handle("SIM:CLEAR:COUNT?")->data, "500");
    EXPECT_EQ(in.Handle("*STB?")->data, "0");  // a clear leaves the status alone
}

TEST(Instrument, LinesSplitAcrossChunksAndLineEnds) {
    std::string pending;
    EXPECT_TRUE(TakeLines(&pending, "*ID").empty());
    EXPECT_EQ(TakeLines(&pending, "N?\r\nA?\rB?\n\n\rC"),
              (std::vector<std::string>{"*IDN?", "A?", "B?"}));
    EXPECT_EQ(pending, "C");
    // A peer that never ends its line cannot grow the buffer without bound.
    pending.clear();
    TakeLines(&pending, std::string(kMaxLineBytes + 10, 'x'));
    EXPECT_EQ(pending.size(), kMaxLineBytes);
}

}  // namespace
}  // namespace xvrsim
