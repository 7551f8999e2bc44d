#include "foundation/http_request.h"

#include <gtest/gtest.h>

namespace halvard {
namespace {

TEST(HttpAddress, SplitsSchemeHostPortAndPath) {
  struct Case {
    const char* url;
    bool secure;
    const char* host;
    uint16_t port;
    const char* path;
  };
  const Case cases[] = {
      {"http://127.0.0.1:8080/n?v=1.0&again=1.0", false, "127.0.0.1", 8080, "/n?v=1.0&again=1.0"},
      {"http://example.test", false, "example.test", 80, "/"},
      {"HTTP://Example.Test/A", false, "Example.Test", 80, "/A"},
      {"https://example.test/report", true, "example.test", 443, "/report"},
      {"https://example.test:8443", true, "example.test", 8443, "/"},
      {"http:example.test/x", false, "example.test", 80, "/x"},
      {"http:///example.test/x", false, "example.test", 80, "/x"},
      {"http://host:65535/", false, "host", 65535, "/"},
  };
  for (const Case& c : cases) {
    std::optional<HttpAddress> address = parse_http_address(c.url);
    ASSERT_TRUE(address) << c.url;
    EXPECT_EQ(address->secure, c.secure) << c.url;
    EXPECT_EQ(address->host, c.host) << c.url;
    EXPECT_EQ(address->port, c.port) << c.url;
    EXPECT_EQ(address->path, c.path) << c.url;
  }
}

TEST(HttpAddress, RefusesWhatCannotBeRequestedOrWouldWriteRequestLines) {
  const std::string too_long = "http://host/" + std::string(longest_http_address, 'a');
  for (const std::string& url :
       std::vector<std::string>{"", "ftp://host/", "mailto:x@y", "http://", "http:///", "http://:80/", "http://host:0/",
                                "http://host:65536/", "http://host:99999999999/", "http://host:/", "http://host:8x/",
                                "http://host/a b", "http://host/\r\nX-Injected: 1", "http://ho\nst/",
                                "http://host/\x7f", "http://user@host/", "http://host?x/", "  http://host/", too_long})
    EXPECT_FALSE(parse_http_address(url)) << url;
}

TEST(HttpRequest, GetAndFormPostTexts) {
  HttpAddress address = *parse_http_address("http://127.0.0.1:8080/n?v=2.5");
  EXPECT_EQ(get_request(address),
            "GET /n?v=2.5 HTTP/1.1\r\nHost: 127.0.0.1:8080\r\nUser-Agent: Framekit 13.0\r\nAccept: */*\r\n"
            "Connection: close\r\n\r\n");
  FormFields fields = {{"from", "support@example.test"}, {"body", "report\r\nline"}};
  const std::string body =
      "--AaB03x\r\nContent-Disposition: form-data; name=\"from\"\r\n\r\nsupport@example.test\r\n"
      "--AaB03x\r\nContent-Disposition: form-data; name=\"body\"\r\n\r\nreport\r\nline\r\n--AaB03x--\r\n";
  EXPECT_EQ(form_body(fields), body);
  HttpAddress report = *parse_http_address("http://reports.example.test/formmail.php");
  EXPECT_EQ(form_post_request(report, fields),
            "POST /formmail.php HTTP/1.1\r\nHost: reports.example.test\r\nUser-Agent: Framekit 13.0\r\n"
            "Connection: close\r\nContent-Type: multipart/form-data; boundary=AaB03x\r\nContent-Length: " +
                std::to_string(body.size()) + "\r\n\r\n" + body);
  EXPECT_EQ(form_body({}), "--AaB03x--\r\n");
}

TEST(HttpResponse, StatusAndLocation) {
  EXPECT_EQ(response_status("HTTP/1.1 200 OK\r\n"), 200);
  EXPECT_EQ(response_status("HTTP/1.0 500\r\n\r\n"), 500);
  EXPECT_EQ(response_status("http/1.1 302 Found\r\nLocation: /x\r\n\r\n"), 302);
  for (const char* head : {"", "HTTP/1.1 200 OK", "HTTP/1.1 2x0 OK\r\n", "SMTP 200\r\n", "HTTP/1.1 099\r\n",
                           "HTTP/1.1\r\n", "HTTP/1.1 20\r\n"})
    EXPECT_FALSE(response_status(head)) << head;
  EXPECT_FALSE(response_head_complete("HTTP/1.1 200 OK\r\nA: b\r\n"));
  EXPECT_TRUE(response_head_complete("HTTP/1.1 200 OK\r\nA: b\r\n\r\nbody"));

  EXPECT_EQ(location_header("HTTP/1.1 302 Found\r\nX: y\r\nLOCATION:  /next \r\n\r\n"), "/next");
  EXPECT_EQ(location_header("HTTP/1.1 302 Found\r\nlocation:http://a/b\r\n\r\n"), "http://a/b");
  EXPECT_FALSE(location_header("HTTP/1.1 302 Found\r\nX-Location: /no\r\n\r\nLocation: /body\r\n"));
  EXPECT_FALSE(location_header("HTTP/1.1 302 Found\r\nLocation: /unfinished"));
}

TEST(HttpResponse, RedirectTargets) {
  HttpAddress current = *parse_http_address("http://host:8080/a/b/page?q=1");
  struct Case {
    const char* location;
    const char* url;  // nullptr: refused
  };
  const Case cases[] = {
      {"/other", "http://host:8080/other"},
      {"next?x=2", "http://host:8080/a/b/next?x=2"},
      {"../up", "http://host:8080/a/b/../up"},
      {"http://elsewhere/x", "http://elsewhere/x"},
      {"https://secure.example/y", "https://secure.example/y"},
      {"http://bad host/", nullptr},
      {"/with space", nullptr},
  };
  for (const Case& c : cases) {
    std::optional<HttpAddress> target = redirect_target(current, c.location);
    if (!c.url) {
      EXPECT_FALSE(target) << c.location;
      continue;
    }
    ASSERT_TRUE(target) << c.location;
    HttpAddress expected = *parse_http_address(c.url);
    EXPECT_EQ(target->secure, expected.secure) << c.location;
    EXPECT_EQ(target->host, expected.host) << c.location;
    EXPECT_EQ(target->port, expected.port) << c.location;
    EXPECT_EQ(target->path, expected.path) << c.location;
  }
}

}  // namespace
}  // namespace halvard
