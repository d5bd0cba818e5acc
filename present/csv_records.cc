#include "present/csv_records.h"

namespace present {

namespace {

bool blank(char c) { return c == ' ' || c == '\t'; }

std::string_view trimmed(std::string_view s) {
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return s;
}

}  // namespace

csv_records::csv_records(std::string_view text) : text_(text) {
  if (text_.substr(0, 3) == "\xEF\xBB\xBF") text_.remove_prefix(3);
}

bool csv_records::next(std::vector<std::string>& fields, int& line,
                       std::optional<std::string>& fault) {
  while (pos_ < text_.size()) {
    fault.reset();
    line = line_;
    if (read(fields, fault) || fault) return true;
  }
  return false;
}

bool csv_records::at_line_end() const { return text_[pos_] == '\n' || text_[pos_] == '\r'; }

// Past one line end (CRLF counts once), at pos_.
void csv_records::skip_line_end() {
  if (text_[pos_] == '\r' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '\n') ++pos_;
  ++pos_;
  ++line_;
}

void csv_records::skip_blanks() {
  while (pos_ < text_.size() && blank(text_[pos_])) ++pos_;
}

void csv_records::skip_rest_of_line() {
  while (pos_ < text_.size() && !at_line_end()) ++pos_;
  if (pos_ < text_.size()) skip_line_end();
}

// One record; false for a blank line.
bool csv_records::read(std::vector<std::string>& fields, std::optional<std::string>& fault) {
  fields.clear();
  bool quoted = false;
  // The column of the field being read, named only in a fault.
  auto column = [&] { return "column " + std::to_string(fields.size()); };
  while (true) {
    skip_blanks();
    std::string& field = fields.emplace_back();
    if (pos_ < text_.size() && text_[pos_] == '"') {
      quoted = true;
      const int opened = line_;
      ++pos_;
      while (true) {
        if (pos_ >= text_.size()) {
          fault = column() + ": the quote opened on line " + std::to_string(opened) +
                  " is not closed";
          return false;
        }
        const char c = text_[pos_];
        if (c == '"') {
          if (pos_ + 1 < text_.size() && text_[pos_ + 1] == '"') {
            field += '"';
            pos_ += 2;
            continue;
          }
          ++pos_;
          break;
        }
        if (c == '\n' || c == '\r') {
          const std::size_t from = pos_;
          skip_line_end();
          field.append(text_.substr(from, pos_ - from));
          continue;
        }
        field += c;
        ++pos_;
      }
      skip_blanks();
      if (pos_ < text_.size() && text_[pos_] != ',' && !at_line_end()) {
        fault = column() + ": text after the closing quote of a field";
        skip_rest_of_line();
        return false;
      }
    } else {
      const std::size_t from = pos_;
      while (pos_ < text_.size() && text_[pos_] != ',' && !at_line_end()) ++pos_;
      field = trimmed(text_.substr(from, pos_ - from));
    }
    if (pos_ < text_.size() && text_[pos_] == ',') {
      ++pos_;
      continue;
    }
    if (pos_ < text_.size()) skip_line_end();
    return quoted || fields.size() > 1 || !fields[0].empty();
  }
}

}  // namespace present
