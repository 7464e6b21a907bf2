// Sessions in-process: framing, the handshake, the reply envelope, events and the order of
// output, and what a client can and cannot make a session do.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "engine/Kelvaro/client_server_common.h"
#include "engine/Kelvaro/server_loop.h"
#include "tests/server/session_harness.h"
#include "tests/server/test_commands.h"

namespace kov::test {
namespace {

using nlohmann::json;

std::string framed(std::string_view body) {
    std::string out;
    appendFrame(out, body);
    return out;
}

C_SessionHarness::S_Options withTestCommands() {
    C_SessionHarness::S_Options options;
    options.tables = &serverTablesWithTestCommands();
    return options;
}

json openRequest(std::string_view agent = "ime") {
    return {
        {"cmd", "open"}, {"magic", pipeNameHash(C_SessionHarness::kPipeName)}, {"agent", agent}};
}

// A client's whole input: requests of several kinds, one without "cmd" (no reply) among them.
std::string conversation() {
    return framed(openRequest("no-ime").dump()) + framed(R"({"cmd":"nope","echo":[1,"ü"]})") +
           framed(R"({"no":"cmd"})") + framed(R"({"cmd":"open","echo":{"a":null}})") +
           framed(R"({"cmd":"test-throw"})");
}

std::vector<std::string> replies(C_SessionHarness& h, const std::vector<std::string_view>& pieces) {
    auto& client = h.connect();
    for (std::string_view piece : pieces) {
        client.sendRaw(piece);
        h.poll();
    }
    return client.receiveFrames(4);
}

TEST(Session, RequestsCutAnywhereOrSentTogetherGetTheSameReplies) {
    C_SessionHarness h(withTestCommands());
    const std::string all = conversation();
    const std::vector<std::string> expected = {
        R"({"ok":true})",
        R"({"echo":[1,"ü"],"error":"Unknown command \"nope\"","ok":false})",
        R"({"echo":{"a":null},"error":"Session already opened","ok":false})",
        R"({"error":"std::runtime_error: boom","ok":false,"partial":1})",
    };
    EXPECT_EQ(replies(h, {all}), expected);
    for (size_t cut = 1; cut < all.size(); ++cut) {
        const std::string_view s(all);
        EXPECT_EQ(replies(h, {s.substr(0, cut), s.substr(cut)}), expected) << "cut at " << cut;
    }
    std::vector<std::string_view> bytes;
    for (size_t i = 0; i < all.size(); ++i)
        bytes.push_back(std::string_view(all).substr(i, 1));
    EXPECT_EQ(replies(h, bytes), expected);
}

// The bytes before the 0x00 and what the session makes of them.
struct S_PrefixCase {
    std::string prefix;
    bool accepted;
};

TEST(Session, LengthPrefixes) {
    const std::string body = R"({"cmd":"x"})";  // 11 bytes
    const std::vector<S_PrefixCase> cases = {
        {"11", true},
        {" +11", true},
        {"\t\n11", true},
        {"011", true},
        {"11abc", true},
        {std::string(30, ' ') + "11", true},   // 32 bytes before the 0x00
        {std::string(31, ' ') + "11", false},  // 33 bytes
        {"abc", false},
        {"", false},
        {"+", false},
        {"-11", false},
        {"- 11", false},
        {"4294967307", false},  // 2^32 + 11: would wrap to 11 as a 32-bit number
        {"99999999999999999999", false},
    };
    C_SessionHarness h;
    for (const auto& c : cases) {
        auto& client = h.connect();
        std::string frame = c.prefix;
        frame.push_back('\0');
        client.sendRaw(frame + body + framed(body));
        if (c.accepted) {
            EXPECT_EQ(client.receive(2).size(), 2u) << "prefix \"" << c.prefix << "\"";
        } else {
            EXPECT_TRUE(client.closedByServer()) << "prefix \"" << c.prefix << "\"";
            EXPECT_TRUE(client.silent()) << "prefix \"" << c.prefix << "\"";
        }
    }
}

TEST(Session, FrameLengthUpTo16MiBIsAwaitedBeyondItEndsTheSession) {
    C_SessionHarness h;
    auto& waiting = h.connect();
    waiting.sendRaw(std::string("16777216") + '\0' + "[1,");
    EXPECT_FALSE(waiting.closedByServer(100ms));
    auto& refused = h.connect();
    refused.sendRaw(std::string("16777217") + '\0' + "[1,");
    EXPECT_TRUE(refused.closedByServer());
}

TEST(Session, AByteStreamWithoutZeroEndsTheSessionAfter32Bytes) {
    C_SessionHarness h;
    auto& client = h.connect();
    client.sendRaw(std::string(32, '1'));
    EXPECT_FALSE(client.closedByServer(100ms));
    client.sendRaw("1");
    EXPECT_TRUE(client.closedByServer());
}

TEST(Session, BadBodiesEndOnlyTheirOwnSession) {
    const std::vector<std::string> bodies = {
        "",                                                       // empty
        "{",                                                      // not JSON
        R"({"cmd":"x"} {"cmd":"y"})",                             // two values
        R"({"cmd":"x"} // note)",                                 // comments are not JSON
        std::string(R"({"cmd":"x","s":")") + "\xff\xfe" + "\"}",  // not UTF-8
        R"({"cmd":"x","echo":)" + std::string(kMaxJsonDepth, '[') +
            std::string(kMaxJsonDepth, ']') + "}",
    };
    C_SessionHarness h;
    auto& bystander = h.connect();
    EXPECT_EQ(bystander.open()["ok"], true);
    for (const auto& body : bodies) {
        auto& client = h.connect();
        client.sendRaw(framed(body) + framed(R"({"cmd":"after"})"));
        EXPECT_TRUE(client.closedByServer()) << body;
        EXPECT_TRUE(client.receiveFrames(1, 50ms).empty()) << body;
        EXPECT_EQ(bystander.request({{"cmd", "open"}})["error"], "Session already opened");
    }
}

TEST(Session, NestingUpToTheLimitIsServed) {
    C_SessionHarness h;
    auto& client = h.connect();
    const std::string deep =
        std::string(kMaxJsonDepth - 1, '[') + std::string(kMaxJsonDepth - 1, ']');
    client.sendRaw(framed(R"({"cmd":"x","echo":)" + deep + "}"));
    const auto reply = client.receive(1);
    ASSERT_EQ(reply.size(), 1u);
    EXPECT_EQ(reply[0]["echo"].dump(), deep);
}

TEST(Session, RequestWithoutStringCmdGetsNoReply) {
    C_SessionHarness h;
    auto& client = h.connect();
    for (const char* body :
         {R"({"echo":1})", R"({"cmd":5})", R"({"cmd":null})", R"([1])", R"("open")", "7"})
        client.sendRaw(framed(body));
    EXPECT_TRUE(client.silent());
    EXPECT_EQ(client.request({{"cmd", "x"}})["error"], "Session not opened");
}

struct S_EnvelopeCase {
    const char* what;
    std::string agent;  // "" for a session not opened
    json request;
    json reply;
};

TEST(Session, EnvelopeErrorsAndEcho) {
    const uint32_t magic = pipeNameHash(C_SessionHarness::kPipeName);
    const std::vector<S_EnvelopeCase> cases = {
        {"known command before open",
         "",
         {{"cmd", "exit"}},
         {{"ok", false}, {"error", "Session not opened"}}},
        {"unknown command before open",
         "",
         {{"cmd", "nope"}, {"echo", 7}},
         {{"ok", false}, {"error", "Session not opened"}, {"echo", 7}}},
        {"magic missing",
         "",
         {{"cmd", "open"}, {"agent", "ime"}},
         {{"ok", false}, {"error", "Invalid user"}}},
        {"magic as float",
         "",
         {{"cmd", "open"}, {"agent", "ime"}, {"magic", static_cast<double>(magic)}},
         {{"ok", false}, {"error", "Invalid user"}}},
        {"magic as string",
         "",
         {{"cmd", "open"}, {"agent", "ime"}, {"magic", std::to_string(magic)}},
         {{"ok", false}, {"error", "Invalid user"}}},
        {"magic wrong",
         "",
         {{"cmd", "open"}, {"agent", "ime"}, {"magic", magic + 1}},
         {{"ok", false}, {"error", "Invalid user"}}},
        {"magic above 2^32, low bits right",
         "",
         {{"cmd", "open"}, {"agent", "no-ime"}, {"magic", (uint64_t{5} << 32) + magic}},
         {{"ok", true}}},
        {"magic negative, low bits right",
         "",
         {{"cmd", "open"},
          {"agent", "no-ime"},
          {"magic", static_cast<int64_t>(magic) - (int64_t{1} << 32)}},
         {{"ok", true}}},
        {"agent missing",
         "",
         {{"cmd", "open"}, {"magic", magic}},
         {{"ok", false}, {"error", "Missing agent"}}},
        {"agent not a string",
         "",
         {{"cmd", "open"}, {"magic", magic}, {"agent", 1}},
         {{"ok", false}, {"error", "Missing agent"}}},
        {"agent unknown",
         "",
         {{"cmd", "open"}, {"magic", magic}, {"agent", "IME"}},
         {{"ok", false}, {"error", "Unknown agent: IME"}}},
        {"open twice",
         "ime",
         openRequest("no-ime"),
         {{"ok", false}, {"error", "Session already opened"}}},
        {"names are case-sensitive",
         "ime",
         {{"cmd", "EXIT"}},
         {{"ok", false}, {"error", "Unknown command \"EXIT\""}}},
        {"input-line command on no-ime",
         "no-ime",
         {{"cmd", "test-line-size"}},
         {{"ok", false}, {"error", "Unknown command \"test-line-size\""}}},
        {"input-line command on ime",
         "ime",
         {{"cmd", "test-line-size"}, {"echo", "e"}},
         {{"ok", true}, {"result", 0}, {"echo", "e"}}},
        {"session command on no-ime",
         "no-ime",
         {{"cmd", "test-events"}, {"count", 0}},
         {{"ok", true}}},
        {"handler exception keeps members",
         "no-ime",
         {{"cmd", "test-throw"}, {"text", "x"}, {"echo", nullptr}},
         {{"ok", false}, {"error", "std::runtime_error: x"}, {"partial", 1}, {"echo", nullptr}}},
    };
    C_SessionHarness h(withTestCommands());
    for (const auto& c : cases) {
        auto& client = h.connect();
        if (!c.agent.empty()) {
            ASSERT_EQ(client.open(c.agent)["ok"], true) << c.what;
        }
        EXPECT_EQ(client.request(c.request), c.reply) << c.what;
    }
}

TEST(Session, ErrorTextsThatAreNotUtf8AreStillAnswered) {
    C_SessionHarness h(withTestCommands());
    auto& client = h.connect();
    client.open();
    // Such texts come from the file system's code page; the byte becomes U+FFFD.
    EXPECT_EQ(client.request({{"cmd", "test-throw"}, {"text", "café"}, {"raw", true}})["error"],
              "std::runtime_error: café\xef\xbf\xbd");
    EXPECT_EQ(client.request({{"cmd", "x"}})["ok"], false);
}

TEST(Session, FailedOpenLeavesTheSessionUnopened) {
    C_SessionHarness h;
    auto& client = h.connect();
    EXPECT_EQ(client.request({{"cmd", "open"}, {"agent", "ime"}})["error"], "Invalid user");
    EXPECT_EQ(client.request({{"cmd", "exit"}})["error"], "Session not opened");
    EXPECT_EQ(client.open("no-ime"), json({{"ok", true}}));
}

TEST(Session, EventsOfARequestComeBeforeItsReplyAndOnlyToItsSession) {
    C_SessionHarness h(withTestCommands());
    auto& client = h.connect();
    auto& other = h.connect();
    client.open();
    other.open("no-ime");
    const auto frames = client.exchange({{"cmd", "test-events"}, {"count", 2}});
    EXPECT_EQ(frames,
              (std::vector<json>{
                  {{"event", "test"}, {"n", 0}}, {{"event", "test"}, {"n", 1}}, {{"ok", true}}}));
    EXPECT_TRUE(other.silent());
}

TEST(Session, UserDictionaryChangeReachesEveryOpenSessionTheIssuerBeforeItsReply) {
    C_SessionHarness h(withTestCommands());
    auto& issuer = h.connect();
    auto& open = h.connect();
    auto& unopened = h.connect();
    issuer.open("no-ime");
    open.open();
    const json event = {{"event", "user-db-changed"}, {"kind", 2}};
    EXPECT_EQ(issuer.exchange({{"cmd", "test-add-user-word"}, {"key", "a1"}, {"word", "a"}}),
              (std::vector<json>{event, {{"ok", true}, {"result", true}}}));
    EXPECT_EQ(open.receive(1), std::vector<json>{event});
    EXPECT_TRUE(unopened.silent());
}

TEST(Session, RepliesGoOutInPiecesOfAtMost1024Bytes) {
    C_SessionHarness h;
    auto& client = h.connect();
    client.open("no-ime");
    // {"echo":"x...x","error":"Session already opened","ok":false} framed to 3000 bytes.
    const std::string shell = R"({"echo":"","error":"Session already opened","ok":false})";
    const size_t fill = 3000 - 5 - shell.size();  // 4 digits and the 0x00
    const size_t before = client.writeSizes().size();
    const json reply = client.request({{"cmd", "open"}, {"echo", std::string(fill, 'x')}});
    EXPECT_EQ(reply["echo"], std::string(fill, 'x'));
    const std::vector<size_t> pieces(client.writeSizes().begin() + static_cast<long>(before),
                                     client.writeSizes().end());
    EXPECT_EQ(pieces, (std::vector<size_t>{1024, 1024, 952}));
}

TEST(Session, BroadcastDuringALongReplyFollowsTheWholeReply) {
    C_SessionHarness h(withTestCommands());
    auto& client = h.connect();
    client.open("no-ime");
    const size_t before = client.writeSizes().size();
    client.send({{"cmd", "x"}, {"echo", std::string(5000, 'y')}});
    ASSERT_TRUE(h.runUntil([&] { return client.writeSizes().size() > before; }));
    broadcastToSessions(R"({"event":"between"})");
    const auto frames = client.receive(2);
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0]["echo"], std::string(5000, 'y'));
    EXPECT_EQ(frames[1], json({{"event", "between"}}));
}

TEST(Session, BroadcastReachesAnIdleSessionAndReadingGoesOn) {
    C_SessionHarness h;
    auto& client = h.connect();
    client.open("no-ime");
    broadcastToSessions(R"({"event":"a"})");
    EXPECT_EQ(client.receive(1), std::vector<json>({{{"event", "a"}}}));
    EXPECT_EQ(client.request({{"cmd", "x"}})["error"], "Unknown command \"x\"");
}

TEST(Session, SessionThatClosesWhileABroadcastIsPending) {
    C_SessionHarness h;
    auto& leaving = h.connect();
    auto& staying = h.connect();
    leaving.open("no-ime");
    staying.open("no-ime");
    // Posted from another thread, as the learning thread does; the session leaves before the
    // loop runs it.
    std::thread([] { runOnServerLoop([] { broadcastToSessions(R"({"event":"late"})"); }); }).join();
    leaving.close();
    EXPECT_EQ(staying.receive(1), std::vector<json>({{{"event", "late"}}}));
    EXPECT_TRUE(h.runUntil([&] { return !leaving.session(); }));

    // A session whose client is gone but whose write is still pending takes no more output.
    auto& gone = h.connect();
    gone.open("no-ime");
    gone.send({{"cmd", "x"}, {"echo", std::string(200000, 'z')}});
    gone.close();
    broadcastToSessions(R"({"event":"after"})");
    EXPECT_TRUE(h.runUntil([&] { return !gone.session(); }));
    EXPECT_EQ(staying.receive(1), std::vector<json>({{{"event", "after"}}}));
}

TEST(Session, HalfAFrameDoesNotHoldUpOtherSessions) {
    C_SessionHarness h;
    auto& slow = h.connect();
    slow.sendRaw(std::string("40") + '\0' + R"({"cmd":"op)");
    auto& quick = h.connect();
    EXPECT_EQ(quick.open("no-ime")["ok"], true);
    EXPECT_EQ(quick.request({{"cmd", "x"}})["ok"], false);
    EXPECT_FALSE(slow.closedByServer(10ms));
}

TEST(Session, OutputThatIsNeverReadEndsTheSessionAt64MiB) {
    C_SessionHarness h;
    auto& deaf = h.connect();
    deaf.open("no-ime");
    deaf.stopReading();
    const auto session = deaf.session();
    const std::string event = R"({"event":")" + std::string(1 << 20, 'e') + R"("})";
    int sent = 0;
    for (; sent < 80 && !session->closed(); ++sent) {
        broadcastToSessions(event);
        h.poll();
    }
    EXPECT_TRUE(session->closed());
    EXPECT_GE(sent, 60);  // what the pipe took before the writes stalled is not counted
    auto& next = h.connect();
    EXPECT_EQ(next.open("no-ime")["ok"], true);
}

TEST(Session, ExitStopsTheLoopAfterItsReplyWasWritten) {
    C_SessionHarness h;
    auto& client = h.connect();
    client.open("no-ime");
    client.send({{"cmd", "exit"}, {"echo", std::string(3000, 'q')}});
    EXPECT_TRUE(h.runUntil([&] { return h.loop().stopped(); }));
    h.loop().restart();
    const auto frames = client.receive(1, 100ms);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0]["ok"], true);
    EXPECT_EQ(frames[0]["echo"], std::string(3000, 'q'));
}

TEST(CommandTables, AreSortedAndRefuseTwins) {
    C_CommandTables t;
    const auto none = [](C_Session&, const json&, json&) {};
    for (const char* name : {"b", "ab", "a", "abc", "a-b"})
        t.add(C_CommandTables::SESSION, name, none);
    t.seal();
    std::vector<std::string_view> names;
    for (const auto& e : t.entries(C_CommandTables::SESSION))
        names.push_back(e.name);
    EXPECT_EQ(names, (std::vector<std::string_view>{"a", "a-b", "ab", "abc", "b"}));
    EXPECT_NE(t.find(C_CommandTables::SESSION, "abc"), nullptr);
    EXPECT_EQ(t.find(C_CommandTables::SESSION, "abcd"), nullptr);
    EXPECT_EQ(t.find(C_CommandTables::INPUT_LINE, "abc"), nullptr);

    C_CommandTables twins = t;
    twins.add(C_CommandTables::INPUT_LINE, "ab", none);
    EXPECT_THROW(twins.seal(), std::logic_error);
}

}  // namespace
}  // namespace kov::test
