#include "recordio/reader.h"

namespace recordio {

list_reader::list_reader(session& s) : session_(s) {}
void list_reader::begin() {}
void list_reader::item(int&) {}
void list_reader::item(double&) {}
void list_reader::end() {}

}  // namespace recordio
