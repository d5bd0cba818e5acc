#include "recordio/record_writer.h"

#include <cstddef>
#include <stdexcept>
#include <string>

#include "recordio/fields.h"

namespace recordio {

namespace {

std::size_t to_size(int n) { return static_cast<std::size_t>(n); }

}  // namespace

record_writer::record_writer(std::string& out, const layout_view& l) : out_(out), layout_(l) {
  go_to(0);
}

void record_writer::put(int value) {
  const step* field = next_field();
  if (field == nullptr) return;
  if (field->kind != step_kind::integer) mismatch(*field);
  write_pending_move();
  integer_field(extend(field->width), field->width, value);
  used();
}

void record_writer::put(double value) {
  const step* field = next_field();
  if (field == nullptr) return;
  if (field->kind != step_kind::fixed && field->kind != step_kind::exponent) mismatch(*field);
  write_pending_move();
  char* at = extend(field->width);
  if (field->kind == step_kind::fixed) {
    fixed_field(at, field->width, field->digits, value);
  } else {
    exponent_field(at, field->width, field->digits, value);
  }
  used();
}

void record_writer::put(std::string_view value) {
  const step* field = next_field();
  if (field == nullptr) return;
  if (field->kind != step_kind::characters) mismatch(*field);
  write_pending_move();
  const int width = character_width(field->width, value);
  character_field(extend(width), width, value);
  used();
}

void record_writer::finish() {
  if (finished_) return;
  finished_ = true;
  if (!exhausted_) run_out();
  end_record();
}

namespace {

bool is_data(step_kind kind) {
  return kind == step_kind::integer || kind == step_kind::fixed || kind == step_kind::exponent ||
         kind == step_kind::characters;
}

}  // namespace

const step* record_writer::next_field() {
  if (exhausted_ || finished_) return nullptr;
  const int end = static_cast<int>(layout_.steps.size());
  for (;;) {
    if (position_ == end) {
      if (!item_written_) {
        // A template that has no field from its reversion point on would
        // start over forever: the operation takes no more items.
        exhausted_ = true;
        return nullptr;
      }
      revert();
      continue;
    }
    const step& s = layout_.steps[static_cast<std::size_t>(position_)];
    if (!is_data(s.kind)) {
      perform(s);
    } else if (repeats_left_ > 0) {
      return &s;
    } else {
      go_to(position_ + 1);
    }
  }
}

void record_writer::run_out() {
  const int end = static_cast<int>(layout_.steps.size());
  while (position_ != end) {
    const step& s = layout_.steps[static_cast<std::size_t>(position_)];
    if (!is_data(s.kind)) {
      perform(s);
    } else if (repeats_left_ > 0) {
      return;  // the first field without an item ends the operation
    } else {
      go_to(position_ + 1);
    }
  }
}

// Inlined into the two loops that run the template: it is their inner step.
[[gnu::always_inline]] inline void record_writer::perform(const step& s) {
  int next = position_ + 1;
  switch (s.kind) {
    case step_kind::text:
      write_text(s);
      break;
    case step_kind::move:
      pending_move_ += s.width;
      break;
    case step_kind::slash:
      end_record();
      break;
    case step_kind::group_open:
      group_counts_[to_size(depth_++)] = s.repeat;
      break;
    case step_kind::group_close:
      if (--group_counts_[to_size(depth_ - 1)] > 0) {
        next = s.partner + 1;
      } else {
        --depth_;
      }
      break;
    case step_kind::integer:
    case step_kind::fixed:
    case step_kind::exponent:
    case step_kind::characters:
      return;  // data fields are the caller's
  }
  go_to(next);
}

void record_writer::write_text(const step& s) {
  write_pending_move();
  std::string_view text = layout_.text.substr(to_size(s.text_begin), to_size(s.text_length));
  // A doubled quote stands for one: copy up to and including each quote,
  // then skip its twin.
  for (std::size_t quote; (quote = text.find('\'')) != std::string_view::npos;) {
    out_.append(text.substr(0, quote + 1));
    text.remove_prefix(quote + 2);
  }
  out_.append(text);
}

[[gnu::always_inline]] inline void record_writer::go_to(int index) {
  position_ = index;
  const bool inside = index < static_cast<int>(layout_.steps.size());
  const step* s = inside ? &layout_.steps[to_size(index)] : nullptr;
  repeats_left_ = s != nullptr && is_data(s->kind) ? s->repeat : 0;
}

void record_writer::revert() {
  end_record();
  item_written_ = false;
  depth_ = 0;
  go_to(layout_.reversion);
}

void record_writer::write_pending_move() {
  // Most fields follow no move: no call into the string for them.
  if (pending_move_ == 0) return;
  out_.append(static_cast<std::size_t>(pending_move_), ' ');
  pending_move_ = 0;
}

void record_writer::end_record() {
  out_ += '\n';
  pending_move_ = 0;
}

char* record_writer::extend(int width) {
  const std::size_t at = out_.size();
  out_.resize(at + to_size(width));
  return out_.data() + at;
}

void record_writer::used() {
  --repeats_left_;
  item_written_ = true;
}

void record_writer::mismatch(const step& field) {
  std::string line = "formatted write: item does not suit the field ";
  line += serialize(std::span<const step>(&field, 1), layout_.text);
  line += " of ";
  line += layout_.text;
  throw std::logic_error(line);
}

}  // namespace recordio
