// The replies of an FTP server, rebuilt from the protocol lines the network
// library reports, with the command that each answers.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace et::detail {

// The server's replies, rebuilt from the protocol lines libcurl reports, so
// that a refusal can be told to the user in the server's own words.
class FtpReplies {
 public:
  void Clear() {
    partial_.clear();
    pending_.clear();
    last_.clear();
    last_code_ = 0;
    codes_.clear();
    command_.clear();
  }

  // A command as sent, so that a refusal can name it; the password never
  // goes further than this.
  void Sent(std::string_view data) {
    while (!data.empty() && (data.back() == '\n' || data.back() == '\r')) data.remove_suffix(1);
    command_ = data.starts_with("PASS ") ? "PASS ***" : std::string(data);
  }

  void Feed(std::string_view data) {
    partial_.append(data);
    size_t eol;
    while ((eol = partial_.find('\n')) != std::string::npos) {
      std::string line = partial_.substr(0, eol);
      partial_.erase(0, eol + 1);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      AddLine(line);
    }
  }

  // The last complete reply (the lines of a multi-line reply joined by
  // blanks) and its code; 0 when none.
  const std::string& Last() const { return last_; }
  int LastCode() const { return last_code_; }
  // The codes of every complete reply since Clear, in order.
  const std::vector<int>& Codes() const { return codes_; }
  // The last command sent since Clear ("STOR .ESTRAZQ.CSV.part").
  const std::string& LastCommand() const { return command_; }

 private:
  static int CodeOf(const std::string& line) {
    if (line.size() < 3) return 0;
    for (int i = 0; i < 3; ++i)
      if (line[i] < '0' || line[i] > '9') return 0;
    return std::stoi(line.substr(0, 3));
  }

  void AddLine(const std::string& line) {
    const int code = CodeOf(line);
    const bool final_line = code != 0 && (line.size() == 3 || line[3] == ' ');
    if (pending_.empty()) {
      if (final_line) {
        Complete(line, code);
      } else if (code != 0 && line[3] == '-') {
        pending_ = line;
        pending_code_ = code;
      }
      return;
    }
    pending_ += " " + line;
    if (final_line && code == pending_code_) {
      Complete(pending_, code);
      pending_.clear();
    }
  }

  void Complete(const std::string& text, int code) {
    last_ = text;
    last_code_ = code;
    codes_.push_back(code);
  }

  std::string partial_;
  std::string pending_;
  int pending_code_ = 0;
  std::string last_;
  int last_code_ = 0;
  std::vector<int> codes_;
  std::string command_;
};

}  // namespace et::detail
