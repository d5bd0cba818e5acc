// Writes a million rows of observed data to a file, for the explorer's
// memory test: make_observed counts|applicants FILE.
#include <cstdio>
#include <string>
#include <string_view>

#include "bench/observed_inputs.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fputs("usage: make_observed counts|applicants FILE\n", stderr);
    return 2;
  }
  const std::string_view form = argv[1];
  if (form != "counts" && form != "applicants") {
    std::fputs("make_observed: the form is counts or applicants\n", stderr);
    return 2;
  }
  const std::string text =
      form == "counts" ? observed_inputs::counts_csv() : observed_inputs::applicants_csv();
  std::FILE* f = std::fopen(argv[2], "wb");
  if (!f) {
    std::perror(argv[2]);
    return 2;
  }
  const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  if (std::fclose(f) != 0 || !written) {
    std::perror(argv[2]);
    return 2;
  }
  return 0;
}
