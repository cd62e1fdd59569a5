#include "support/servers.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "support/test_certificate.h"

namespace et::test {
namespace {

// Debian's interpreter: the one that has pyftpdlib.
constexpr const char* kPython = "/usr/bin/python3";

std::string ServerScript(const char* name) { return std::string(ET_SERVERS_DIR) + "/" + name; }

// Starts the server and reads the port from its first line.
std::unique_ptr<BackgroundProcess> StartServer(const std::vector<std::string>& args, int* port) {
  auto process = std::make_unique<BackgroundProcess>(kPython, args);
  std::string line = process->ReadLine();
  try {
    *port = std::stoi(line);
  } catch (const std::exception&) {
    throw std::runtime_error("test server printed no port: " + line);
  }
  return process;
}

std::vector<std::string> ReadLines(const std::string& path) {
  std::vector<std::string> lines;
  std::ifstream in(path, std::ios::binary);
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

void AppendUtf8(std::string& out, unsigned code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

// Reads a JSON string starting at text[pos] == '"'; pos ends after it.
std::string ParseJsonString(const std::string& text, size_t& pos) {
  if (pos >= text.size() || text[pos] != '"')
    throw std::runtime_error("bad request log line: " + text);
  ++pos;
  std::string out;
  auto hex4 = [&](size_t at) {
    return static_cast<unsigned>(std::stoul(text.substr(at, 4), nullptr, 16));
  };
  while (pos < text.size() && text[pos] != '"') {
    char c = text[pos++];
    if (c != '\\') {
      out += c;
      continue;
    }
    char e = text.at(pos++);
    switch (e) {
      case 'n':
        out += '\n';
        break;
      case 'r':
        out += '\r';
        break;
      case 't':
        out += '\t';
        break;
      case 'b':
        out += '\b';
        break;
      case 'f':
        out += '\f';
        break;
      case 'u': {
        unsigned code = hex4(pos);
        pos += 4;
        if (code >= 0xD800 && code < 0xDC00 && text.compare(pos, 2, "\\u") == 0) {
          unsigned low = hex4(pos + 2);
          pos += 6;
          code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
        }
        AppendUtf8(out, code);
        break;
      }
      default:
        out += e;
    }
  }
  ++pos;
  return out;
}

// The request log holds flat objects whose values are all strings.
HttpRequest ParseRequestLine(const std::string& line) {
  HttpRequest request;
  size_t pos = line.find('{');
  if (pos == std::string::npos) throw std::runtime_error("bad request log line: " + line);
  ++pos;
  for (;;) {
    pos = line.find_first_not_of(" ,", pos);
    if (pos == std::string::npos || line[pos] == '}') break;
    std::string key = ParseJsonString(line, pos);
    pos = line.find(':', pos);
    pos = line.find_first_not_of(' ', pos + 1);
    std::string value = ParseJsonString(line, pos);
    if (key == "method") request.method = value;
    if (key == "path") request.path = value;
    if (key == "version") request.version = value;
    if (key == "user_agent") request.user_agent = value;
  }
  return request;
}

}  // namespace

std::string HostForUrl(const std::string& host) {
  return host.find(':') != std::string::npos ? "[" + host + "]" : host;
}

FtpServer::FtpServer(const std::string& host) : FtpServer(Options{host}) {}

FtpServer::FtpServer(const Options& options)
    : host_(options.host), root_(dir_.File("root")), log_(dir_.File("commands.log")) {
  std::filesystem::create_directories(root_);
  std::vector<std::string> args{ServerScript("ftp_server.py"),
                                "--root",
                                root_,
                                "--log",
                                log_,
                                "--host",
                                host_,
                                "--port",
                                "0",
                                "--user",
                                std::string(kUser) + ":" + kPassword + ":elradfmw",
                                "--user",
                                std::string(kReadOnlyUser) + ":" + kReadOnlyPassword + ":elr",
                                "--deny-dir",
                                kDeniedDir};
  if (options.drop_data_after >= 0)
    args.insert(args.end(), {"--drop-data-after", std::to_string(options.drop_data_after)});
  if (options.refuse_rnfr) args.push_back("--refuse-rnfr");
  if (options.refuse_rename_over) args.push_back("--refuse-rename-over");
  if (options.keep_only >= 0)
    args.insert(args.end(), {"--keep-only", std::to_string(options.keep_only)});
  if (options.no_size) args.push_back("--no-size");
  if (options.convert_line_ends) args.push_back("--convert-line-ends");
  if (options.refuse_dot_names) args.push_back("--refuse-dot-names");
  if (options.refuse_overwrite) args.push_back("--refuse-overwrite");
  if (options.refuse_rename_delete) args.push_back("--refuse-rename-delete");
  if (options.stall_data_seconds > 0)
    args.insert(args.end(), {"--stall-data", std::to_string(options.stall_data_seconds)});
  if (options.max_per_ip > 0)
    args.insert(args.end(), {"--max-per-ip", std::to_string(options.max_per_ip)});
  process_ = StartServer(args, &port_);
}

FtpServer::~FtpServer() = default;

std::string FtpServer::HostAndPort() const {
  return HostForUrl(host_) + ":" + std::to_string(port_);
}

const std::string& FtpServer::Root() const { return root_; }

std::string FtpServer::ReadReceived(const std::string& relative_path) const {
  return ReadFile(root_ + "/" + relative_path);
}

bool FtpServer::HasFile(const std::string& relative_path) const {
  return std::filesystem::is_regular_file(root_ + "/" + relative_path);
}

void FtpServer::PutFile(const std::string& relative_path, const std::string& bytes) const {
  std::filesystem::path path(root_ + "/" + relative_path);
  std::filesystem::create_directories(path.parent_path());
  WriteFile(path.string(), bytes);
}

void FtpServer::MakeDirectory(const std::string& relative_path) const {
  std::filesystem::create_directories(root_ + "/" + relative_path);
}

std::vector<std::string> FtpServer::Commands() const {
  std::vector<std::string> lines = ReadLines(log_);
  for (auto& line : lines)
    if (!line.empty() && line.back() == '\r') line.pop_back();
  return lines;
}

int FtpServer::Connections() const {
  return static_cast<int>(ReadLines(log_ + ".connections").size());
}

HttpServer::HttpServer(const Options& options)
    : options_(options), log_(dir_.File("requests.log")) {
  std::vector<std::string> args{
      ServerScript("http_server.py"), "--log", log_, "--host", options_.host, "--port", "0"};
  if (options_.scheme == Scheme::kHttps) {
    const TestCertificate made = TestCertificate::Make(dir_);
    args.insert(args.end(), {"--cert", made.certificate, "--key", made.key});
    if (!options_.tls_max.empty()) args.insert(args.end(), {"--tls-max", options_.tls_max});
  }
  process_ = StartServer(args, &port_);
}

HttpServer::~HttpServer() = default;

std::string HttpServer::BaseUrl() const {
  return std::string(options_.scheme == Scheme::kHttps ? "https" : "http") + "://" +
         HostForUrl(options_.host) + ":" + std::to_string(port_);
}

std::vector<HttpRequest> HttpServer::Requests() const {
  std::vector<HttpRequest> requests;
  for (const auto& line : ReadLines(log_))
    if (!line.empty()) requests.push_back(ParseRequestLine(line));
  return requests;
}

int ClosedPort() {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) throw std::runtime_error("socket failed");
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  socklen_t len = sizeof addr;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    ::close(fd);
    throw std::runtime_error("bind failed");
  }
  ::close(fd);
  return ntohs(addr.sin_port);
}

}  // namespace et::test
