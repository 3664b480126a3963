#include "reader/notices.h"

namespace planner {

void Notices::dropped(std::uint64_t offset, char byte, Token token, bool command) {
  if (!open_) {
    open_ = true;
    current_ = {line_, offset - line_start_ + 1, "", false, ""};
    seen_.reset();
    watch_ = Token::kNone;
    chosen_ = false;
  }
  const auto b = static_cast<unsigned char>(byte);
  if (!seen_[b]) {
    seen_[b] = true;
    current_.bytes += byte;
  }
  // The first token of the line that lost a byte is the one to show.
  if (!chosen_ && token != Token::kNone) {
    chosen_ = true;
    watch_ = token;
    current_.command = command;
  }
}

void Notices::keep(std::string_view text) {
  current_.reads = text;
  watch_ = Token::kNone;
}

void Notices::close(std::string_view goal, std::string_view item) {
  if (watch_ != Token::kNone) keep(watch_ == Token::kGoal ? goal : item);
  open_ = false;
  if (lines_.size() < kKept) {
    lines_.push_back(std::move(current_));
  } else {
    ++more_;
  }
}

}  // namespace planner
