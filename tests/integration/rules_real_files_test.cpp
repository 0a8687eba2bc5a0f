// Every rule route against a rules file in the shape the rule updater
// writes (tests/data/updater.rules): a licence header, notes and a blank
// line, a disabled "# alert" rule, a bundled decoder rule without rev,
// messages with parentheses, colons and escaped quotes, content strings with
// ";", a rule continued over two lines; and the same file with CRLF ends.
#include <gtest/gtest.h>
#include <json/reader.h>
#include <json/value.h>

#include <sstream>
#include <string>
#include <vector>

#include "common/JsonText.h"
#include "support/RulesFixture.h"

namespace {

using harness::get;
using harness::post;
using harness::readFile;
using harness::writeFile;

const std::string kActivex =
    "alert http $HOME_NET any -> $EXTERNAL_NET any (msg:\"ET ACTIVEX Vulnerable Microsoft Video "
    "ActiveX CLSID access (29)\"; flow:to_server,established; content:\"clsid\"; nocase; "
    "classtype:attempted-user; sid:2008123; rev:4;)";
const std::string kHunt =
    "alert http $HOME_NET any -> $EXTERNAL_NET any (msg:\"TGI HUNT Malicious admin:admin B64 "
    "String in HTTP\"; flow:established,to_server; content:\"YWRtaW46YWRtaW4=\"; "
    "classtype:bad-unknown; sid:3000001; rev:2;)";
const std::string kDecoder =
    "alert ip any any -> any any (msg:\"SURICATA IPv4 unknown protocol\"; "
    "decode-event:ipv4.unknown_protocol; classtype:protocol-command-decode; sid:2200125;)";
const std::string kQuoted =
    "alert tcp any any -> any any (msg:\"ET POLICY say \\\"hi\\\"; then sid:5\"; "
    "content:\"sid:5|3b| rev:9\"; content:\"a\\;b\"; sid:2100001; rev:3;)";
const std::string kContinuedHead =
    "drop tcp $HOME_NET any -> any 445 (msg:\"LOCAL continued rule\"; flow:to_server; \\";
const std::string kContinuedTail = "    classtype:policy-violation; sid:9000001; rev:1;)";
// As the loader reads it: the backslash and the newline go.
const std::string kContinued =
    "drop tcp $HOME_NET any -> any 445 (msg:\"LOCAL continued rule\"; flow:to_server;     "
    "classtype:policy-violation; sid:9000001; rev:1;)";
const std::string kBlankAfterColon =
    "alert dns any any -> any any ( msg: \"LOCAL blank after colon\"; sid:9000002; rev:7;)";

// One rule object as a line of text, every member written by hand below.
std::string describe(const Json::Value& rule) {
  return rule["sid"].asString() + "|" + rule["rev"].asString() + "|" + rule["action"].asString() +
         "|" + rule["protocol"].asString() + "|" + rule["classtype"].asString() + "|" +
         rule["msg"].asString() + "|" + (rule["enabled"].asBool() ? "on" : "off") + "|" +
         rule["content"].asString();
}

const std::vector<std::string> kListed = {
    "2008123|4|alert|http|attempted-user|\"ET ACTIVEX Vulnerable Microsoft Video ActiveX CLSID "
    "access (29)\"|on|" +
        kActivex,
    "3000001|2|alert|http|bad-unknown|\"TGI HUNT Malicious admin:admin B64 String in "
    "HTTP\"|off| " +
        kHunt,
    "2200125|0|alert|ip|protocol-command-decode|\"SURICATA IPv4 unknown protocol\"|on|" + kDecoder,
    "2100001|3|alert|tcp|unlnown|\"ET POLICY say \\\"hi\\\"; then sid:5\"|on|" + kQuoted,
    "9000001|1|drop|tcp|policy-violation|\"LOCAL continued rule\"|on|" + kContinued,
    "9000002|7|alert|dns|unlnown|\"LOCAL blank after colon\"|on|" + kBlankAfterColon,
};

std::string fixture() {
  return readFile(std::string(PAVORA_SOURCE_DIR) + "/tests/data/updater.rules");
}

std::string withCrlf(const std::string& text) {
  std::string out;
  for (const char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

std::string contentBody(const std::string& text) {
  Json::Value body;
  body["content"] = text;
  return json_text::write(body);
}

class RulesRealFilesTest : public harness::RulesTest {
 protected:
  // The rules of a page reply, each described; the line end a CRLF file
  // gives every content is taken off first.
  static std::vector<std::string> listed(const harness::HttpReply& reply, bool crlf = false) {
    EXPECT_EQ(reply.status, 200) << reply.body;
    Json::Value rules;
    std::string errors;
    std::istringstream in(reply.body);
    EXPECT_TRUE(Json::parseFromStream(Json::CharReaderBuilder(), in, &rules, &errors)) << errors;
    std::vector<std::string> out;
    for (Json::Value rule : rules) {
      std::string content = rule["content"].asString();
      if (crlf) {
        EXPECT_EQ(content.back(), '\r') << content;
        content.pop_back();
        rule["content"] = content;
      }
      out.push_back(describe(rule));
    }
    return out;
  }
};

std::vector<std::string> pick(std::initializer_list<size_t> indexes) {
  std::vector<std::string> out;
  for (const size_t i : indexes) out.push_back(kListed[i]);
  return out;
}

TEST_F(RulesRealFilesTest, EveryQueryReadsTheRulesAsTheLoaderDoes) {
  for (const bool crlf : {false, true}) {
    SCOPED_TRACE(crlf ? "CRLF" : "LF");
    writeFile(rulesFile(), crlf ? withCrlf(fixture()) : fixture());
    const harness::HttpReply all = get("/rules?page_size=50");
    EXPECT_EQ(listed(all, crlf), kListed);
    EXPECT_EQ(listed(get("/rules?page=2&page_size=4"), crlf), pick({4, 5}));
    EXPECT_EQ(listed(get("/rules/action/drop"), crlf), pick({4}));
    EXPECT_EQ(listed(get("/rules/protocol/http"), crlf), pick({0, 1}));
    EXPECT_EQ(listed(get("/rules/status/disabled"), crlf), pick({1}));
    EXPECT_EQ(listed(get("/rules/status/enabled"), crlf), pick({0, 2, 3, 4, 5}));
    EXPECT_EQ(listed(get("/rules/search?action=alert&protocol=ip"), crlf), pick({2}));
    EXPECT_EQ(listed(get("/rules/search?status=enabled&page_size=2&page=3"), crlf), pick({5}));
    // The licence header names "license"; no rule does.
    EXPECT_EQ(listed(get("/rules/signature/license"), crlf), pick({}));
    EXPECT_EQ(listed(get("/rules/signature/admin%3Aadmin"), crlf), pick({1}));
    EXPECT_EQ(listed(get("/rules/signature/flow%3Ato_server%3B%20%20%20%20%20classtype"), crlf),
              pick({4}));
    EXPECT_EQ(listed(get("/rules/duplicated/2200125"), crlf), pick({2}));
    EXPECT_EQ(listed(get("/rules/duplicated/5"), crlf), pick({}));

    const harness::HttpReply decoder = get("/rules/2200125");
    EXPECT_EQ(decoder.status, 200);
    EXPECT_NE(decoder.body.find("\"rev\" : 0"), std::string::npos) << decoder.body;
    EXPECT_EQ(get("/rules/9000001").status, 200);
    expectText(get("/rules/5"), 404, "Rule with SID 5 not found");
  }
}

TEST_F(RulesRealFilesTest, EditsWorkOnWholeRulesAndKeepEveryOtherByte) {
  for (const bool crlf : {false, true}) {
    SCOPED_TRACE(crlf ? "CRLF" : "LF");
    const auto file = [&](const std::string& text) { return crlf ? withCrlf(text) : text; };
    const std::string end = crlf ? "\r" : "";
    const std::string original = fixture();
    writeFile(rulesFile(), file(original));

    // The updater's "# alert" is enabled as a line that starts with its action.
    const std::string huntLine = "# " + kHunt + "\n";
    ASSERT_NE(original.find(huntLine), std::string::npos);
    expectText(post("/rules/toggle/", contentBody(" " + kHunt + end)), 200,
               "Rule status toggled successfully");
    std::string expected = original;
    expected.replace(expected.find(huntLine), huntLine.size(), kHunt + "\n");
    EXPECT_EQ(readFile(rulesFile()), file(expected));
    expectText(post("/rules/toggle/", contentBody(kHunt + end)), 200,
               "Rule status toggled successfully");
    expected.replace(expected.find(kHunt + "\n"), kHunt.size() + 1, "#" + kHunt + "\n");
    EXPECT_EQ(readFile(rulesFile()), file(expected));

    // The continued rule: by its joined text on all of its lines, never by a piece of one.
    const std::string twoLines = kContinuedHead + "\n" + kContinuedTail + "\n";
    const std::string refusal =
        "Rule text is a part of a rule written over several lines: send the whole rule";
    expectText(post("/rules/toggle/", contentBody(kContinuedTail + end)), 409, refusal);
    expectText(post("/rules/delete/", contentBody(kContinuedTail + end)), 409, refusal);
    expectText(post("/rules/update/",
                    "{\"rule\":{\"content\":\"445 (msg\"},\"new_rule\":"
                    "{\"content\":\"446 (msg\"}}"),
               200, "Rule updated successfully");
    std::string updated = expected;
    std::string oneLine = kContinued;
    oneLine.replace(oneLine.find("445 (msg"), 8, "446 (msg");
    updated.replace(updated.find(twoLines), twoLines.size(), oneLine + "\n");
    EXPECT_EQ(readFile(rulesFile()), file(updated));
    writeFile(rulesFile(), file(expected));
    expectText(post("/rules/toggle/", contentBody(kContinued + end)), 200,
               "Rule status toggled successfully");
    std::string disabled = expected;
    disabled.replace(disabled.find(twoLines), twoLines.size(), "#" + twoLines);
    EXPECT_EQ(readFile(rulesFile()), file(disabled));
    expectText(post("/rules/delete/", contentBody(kContinued + end)), 200,
               "Rule deleted successfully");
    std::string deleted = expected;
    deleted.erase(deleted.find(twoLines), twoLines.size());
    EXPECT_EQ(readFile(rulesFile()), file(deleted));

    // The listing's content of a CRLF file updates it; the line keeps its CR.
    std::string revised = kDecoder;
    revised.replace(revised.find("sid:2200125;"), 12, "sid:2200125; rev:1;");
    const std::string body = "{\"rule\":{\"content\":" + json_text::write(kDecoder + end) +
                             "},\"new_rule\":{\"content\":" + json_text::write(revised + end) +
                             "}}";
    expectText(post("/rules/update/", body), 200, "Rule updated successfully");
    deleted.replace(deleted.find(kDecoder), kDecoder.size(), revised);
    EXPECT_EQ(readFile(rulesFile()), file(deleted));

    // The bundled rule's sid is in use, whatever the text around it.
    expectText(post("/rules/add/", contentBody("alert ip any any -> any any (msg:\"x\"; "
                                               "sid:2200125; rev:1;)")),
               409, "SID already in use");
  }
}

}  // namespace
