#include <gtest/gtest.h>

#include "common/errors.h"
#include "frame/application.h"
#include "frame/cgi_request.h"
#include "frame/cgi_response.h"
#include "frame/web_module.h"
#include "platform/messages.h"
#include "support/test_site.h"

namespace frame {
namespace {

class CgiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int i = 0; i < kVariableCount; ++i) {
      if (*RequestVariableName(i) != '\0') testkit::UnsetEnv(RequestVariableName(i));
    }
    for (const char* name : {"HOST", "CONTENT_LENGTH", "CONTENT_TYPE"}) testkit::UnsetEnv(name);
  }
};

TEST_F(CgiTest, HeaderBlockForAPage) {
  testkit::SetEnv("SERVER_PROTOCOL", "HTTP/1.1");
  TCGIRequest request;
  StandardOutput output;
  TCGIResponse response(request, output);
  response.SetContent("<HTML>\xC7</HTML>");
  EXPECT_EQ(response.HeaderBlock(),
            "Status: 200 OK\r\nContent-Type: text/html\r\nContent-Length: 14\r\nContent:\r\n\r\n");
  EXPECT_EQ(response.version, "");
}

TEST_F(CgiTest, HeaderBlockEdgeCases) {
  testkit::SetEnv("SERVER_PROTOCOL", "HTTP/1.0");
  TCGIRequest request;
  StandardOutput output;
  TCGIResponse empty(request, output);
  EXPECT_EQ(empty.HeaderBlock(), "Status: 200 OK\r\nContent-Type: text/html\r\nContent:\r\n\r\n");

  TCGIResponse reason_missing(request, output);
  reason_missing.status_code = 404;
  EXPECT_EQ(reason_missing.HeaderBlock().substr(0, 16), "Status: 200 OK\r\n");

  TCGIResponse with_reason(request, output);
  with_reason.status_code = 404;
  with_reason.reason = "Not Found";
  with_reason.location = "/x";
  with_reason.cookies = {"a=1"};
  with_reason.last_modified = 34644.5;  // 1994-11-06 12:00
  EXPECT_EQ(with_reason.HeaderBlock(),
            "Status: 404 Not Found\r\nLocation: /x\r\nSet-Cookie: a=1\r\n"
            "Last-Modified: Sun, 06 Nov 1994 12:00:00 GMT\r\n"
            "Content-Type: text/html\r\nContent:\r\n\r\n");

  testkit::UnsetEnv("SERVER_PROTOCOL");
  TCGIRequest no_protocol;
  TCGIResponse bare(no_protocol, output);
  bare.SetContent("page");
  EXPECT_EQ(bare.HeaderBlock(), "");
  EXPECT_EQ(bare.version, "1.0");
}

TEST_F(CgiTest, HttpPrefixFallsBack) {
  testkit::SetEnv("HOST", "example.org");
  testkit::SetEnv("CONTENT_TYPE", "text/plain");
  TCGIRequest request;
  EXPECT_EQ(request.GetStringVariable(kHost), "example.org");
  EXPECT_EQ(request.GetStringVariable(15), "text/plain");
  testkit::SetEnv("HTTP_HOST", "direct.org");
  EXPECT_EQ(request.GetStringVariable(kHost), "direct.org");
  testkit::SetEnv("REMOTE_HOST", "");
  EXPECT_EQ(request.GetStringVariable(22), "");
}

TEST_F(CgiTest, LongValuesAreReadWhole) {
#ifdef _WIN32
  std::string big(32000, 'h');  // the largest value Windows keeps
#else
  std::string big(1 << 20, 'h');
#endif
  testkit::SetEnv("HTTP_HOST", big);
  TCGIRequest request;
  EXPECT_EQ(request.GetStringVariable(kHost), big);
}

TEST_F(CgiTest, IntegerAndDateLookups) {
  TCGIRequest request;
  struct Case {
    const char* text;
    std::int32_t value;
  };
  for (const Case& c :
       {Case{"", -1}, Case{"12", 12}, Case{"abc", -1}, Case{"12x", -1}, Case{"-7", -7},
        Case{"2147483647", 2147483647}, Case{"2147483648", -1}, Case{"1000000000000", -1}}) {
    testkit::SetEnv("CONTENT_LENGTH", c.text);
    EXPECT_EQ(request.GetIntegerVariable(kContentLength), c.value) << c.text;
  }
  EXPECT_EQ(request.GetDateVariable(7), -1.0);
  testkit::SetEnv("HTTP_DATE", "Sun, 06 Nov 1994 08:49:37 GMT");
  double rfc1123 = request.GetDateVariable(7);
  EXPECT_NEAR(rfc1123, 34644 + (8 * 3600 + 49 * 60 + 37) / 86400.0, 1e-9);
  testkit::SetEnv("HTTP_DATE", "Sunday, 06-Nov-94 08:49:37 GMT");
  EXPECT_NEAR(request.GetDateVariable(7), rfc1123, 1e-9);
  testkit::SetEnv("HTTP_DATE", "Sun Nov  6 08:49:37 1994");
  EXPECT_NEAR(request.GetDateVariable(7), rfc1123, 1e-9);
  testkit::SetEnv("HTTP_DATE", "yesterday");
  EXPECT_EQ(request.GetDateVariable(7), -1.0);
  EXPECT_EQ(FormatHttpDate(rfc1123), "Sun, 06 Nov 1994 08:49:37 GMT");
}

TEST(ErrorResponse, BodyAndSanitisedStatusLine) {
  std::string r = ErrorResponse("InOutError", "disk\r\nfull");
  std::string body =
      "<html><title>Internal Server Error 500</title>\r\n<h1>Internal Server Error 500</h1><hr>\r\n"
      "Exception: InOutError<br>\r\nMessage: disk\r\nfull<br></html>\r\n";
  EXPECT_EQ(r, "Status: 500 disk  full\r\nContent-Type: text/html\r\nContent-Length: " +
                   std::to_string(body.size()) + "\r\nContent:\r\n\r\n" + body);
}

void Recorder(TWebModule&, TCGIRequest&, TCGIResponse& response, bool& handled) {
  response.SetContent("ran");
  handled = true;
}

void Declines(TWebModule&, TCGIRequest&, TCGIResponse&, bool& handled) { handled = false; }

TEST_F(CgiTest, DispatchTakesOnlyAnEmptyPathInfo) {
  TWebModule module;
  module.actions.push_back(TWebActionItem{"A", "", "", true, false, &Recorder});
  TCGIRequest request;
  StandardOutput output;
  TCGIResponse response(request, output);
  EXPECT_TRUE(module.DispatchRequest(request, response));
  EXPECT_EQ(response.Content(), "ran");
  testkit::SetEnv("PATH_INFO", "/extra");
  TCGIResponse other(request, output);
  EXPECT_FALSE(module.DispatchRequest(request, other));
  EXPECT_EQ(other.Content(), "");

  EXPECT_TRUE(ActionPathMatches("/X*", "/xtra"));
  EXPECT_FALSE(ActionPathMatches("", "/x"));
  TWebModule declining;
  declining.actions.push_back(TWebActionItem{"B", "", "", true, false, &Declines});
  testkit::UnsetEnv("PATH_INFO");
  EXPECT_FALSE(declining.DispatchRequest(request, response));
}

TEST(CgiRequestFromParameters, VariablesAndTheBodyAsTheDeclaredLengthAsks) {
  std::vector<std::pair<std::string, std::string>> params = {
      {"HOST", "from-host"}, {"CONTENT_LENGTH", "4"}, {"REMOTE_ADDR", "1"}, {"REMOTE_ADDR", "2"}};
  ParameterVariables variables(params);
  TCGIRequest request(variables, "bodyandmore");
  EXPECT_EQ(request.GetStringVariable(kHost), "from-host");  // HTTP_HOST falls back to HOST
  EXPECT_EQ(request.GetStringVariable(kRemoteAddress), "2");
  EXPECT_EQ(request.Content(), "body");
  params[1].second = "0";
  EXPECT_EQ(TCGIRequest(variables, "body").Content(), "");
  params[1].second = "100";
  EXPECT_EQ(TCGIRequest(variables, "short").Content(), "short");
}

#ifndef _WIN32
// The frame run persistent: a child of this process with a FastCGI listener
// as its standard input, and a module of the test's own.
int g_requests_started = 0;
void CountStart() { ++g_requests_started; }

void Answers(TWebModule&, TCGIRequest& request, TCGIResponse& response, bool& handled) {
  std::string host = request.GetStringVariable(kHost);
  if (host == "boom") throw common::Exception("boom went the handler");
  if (host == "tell") platform::OperatorMessage("told\r\nthe operator");
  response.SetContent("page of " + host + " #" + std::to_string(g_requests_started));
  handled = true;
}

std::unique_ptr<TWebModule> AnsweringModule() {
  auto module = std::make_unique<TWebModule>();
  module->actions.push_back(TWebActionItem{"A", "", "", true, false, &Answers});
  return module;
}

TEST(PersistentFrame, EachRequestStartsAfreshAndFailuresStayInsideIt) {
  testkit::TempDir dir;
  testkit::FastCgiProcess process(
      [] {
        RegisterModuleClass(&AnsweringModule);
        SetRequestStart(&CountStart);
        return RunApplication();
      },
      dir.path() + "/socket");
  auto request = [&](const std::string& host) {
    return process.Request({{"SERVER_PROTOCOL", "HTTP/1.1"}, {"HTTP_HOST", host}});
  };
  auto first = request("a");
  EXPECT_TRUE(first.ended);
  EXPECT_EQ(first.out,
            "Status: 200 OK\r\nContent-Type: text/html\r\nContent-Length: 12\r\nContent:\r\n\r\n"
            "page of a #1");
  const std::string body =
      "<html><title>Internal Server Error 500</title>\r\n<h1>Internal Server Error "
      "500</h1><hr>\r\nException: Exception<br>\r\nMessage: boom went the handler<br></html>\r\n";
  auto failed = request("boom");
  EXPECT_TRUE(failed.ended);
  EXPECT_EQ(failed.out,
            "Status: 500 boom went the handler\r\nContent-Type: text/html\r\n"
            "Content-Length: " +
                std::to_string(body.size()) + "\r\nContent:\r\n\r\n" + body);
  auto told = request("tell");
  EXPECT_EQ(told.err, "enPanel: told | the operator\n");
  EXPECT_EQ(told.out.substr(told.out.size() - 15), "page of tell #3");
  EXPECT_EQ(request("a").out.substr(73), "page of a #4");
  EXPECT_EQ(process.Terminate(), 0);
}
#endif

}  // namespace
}  // namespace frame
