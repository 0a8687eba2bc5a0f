// Writing simdjson documents as the JSON library's default stream writer
// writes the same document once read into its own tree: tab indentation,
// object members in byte order of their names with the last of duplicate
// names kept, its number forms and its string escapes. Replies built from
// stored events come out byte for byte as before, without the tree.
#ifndef COMMON_JSONLAYOUT_H_
#define COMMON_JSONLAYOUT_H_

#include <simdjson.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace json_layout {

// Values written one token at a time in the default layout, for replies
// built without a tree. The caller gives an object's members in byte order
// of their names, each name once, and never opens an empty object or array
// (those are written whole by value(element)).
class Stream {
 public:
  // Writes into `text` after its first `used` bytes (growing it as needed and
  // counting in `used`), as a value nested `depth` levels deep.
  Stream(std::string& text, size_t& used, size_t depth);

  void beginObject();
  void key(std::string_view name);  // then the member's value
  void endObject();
  void beginArray();
  void nextElement();  // then the element's value
  void endArray();

  void value(simdjson::dom::element value);  // any element, objects sorted
  void value(std::string_view text);
  void value(double real);
  void value(int64_t integer);

 private:
  void newLine();
  void putWithIndent(char bracket);
  void open(char bracket);
  void close(char bracket);

  std::string& text_;
  size_t& used_;
  size_t tabs_;              // tabs after a line break: the base and one per level
  bool indented_ = true;     // the line is already broken and indented
  std::vector<bool> first_;  // per open object or array: nothing in it yet
};

// `value` in the default layout, as json_text::write gives it for the same
// text read by jsoncpp. Never fails.
std::string write(simdjson::dom::element value);

// Appends the two-character escape of `c` when it has one (quotation mark,
// backslash, backspace, form feed, line feed, carriage return, tab) and
// returns true; returns false, appending nothing, for any other byte.
bool appendShortEscape(std::string& out, char c);

// A JSON array in the default layout, from the texts of its elements, each
// written on its own at the top level (by write() or json_text::write): for
// arrays whose elements come from separate documents.
class ArrayText {
 public:
  // Room for `bytes` of text, so that adding does not copy what is there.
  void reserve(size_t bytes);
  // Appends one element's text.
  void add(const std::string& text);
  // Appends one element, written in place as write() would write it.
  void add(simdjson::dom::element value);
  // Starts the next element and returns the stream to write it with; it
  // must be written whole before anything else is added.
  Stream next();
  // Appends one element as an array of this kind held it: a text that
  // lastElement() gave.
  void addWritten(std::string_view element);
  // The text of the element added last, as the array holds it; valid until
  // the next change. Empty before the first.
  std::string_view lastElement() const;
  // The array's text; the builder is left empty.
  std::string finish() &&;

 private:
  void startElement();  // the array's opening or the comma before the element

  std::string text_;      // "[" and the elements so far, then room for more
  size_t used_ = 0;       // bytes of text_ written
  size_t lastStart_ = 0;  // where the last element's text begins
};

}  // namespace json_layout

#endif  // COMMON_JSONLAYOUT_H_
