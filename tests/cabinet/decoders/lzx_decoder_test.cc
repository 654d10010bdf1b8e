// lzx_decoder_test.cc - catches LZX decoding faults with hand-built frames: wrong offsets from slots,
// repeated offsets or aligned symbols, wrong padding around uncompressed blocks, trees not coded
// against the previous block's, runs of pre-tree symbols, codes wrongly accepted or refused, and
// matches or reads that pass the frame, the block, the history or the window.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "tests/cabinet/decoders/lzx_frame_builder.h"
#include "tests/cabinet/decoders/lzx_harness.h"

namespace cabtest {
namespace {

struct Frame {
  Bytes data;
  uint32_t nbytes;  // output bytes asked for
};

struct Stream {
  unsigned window_bits;
  std::vector<Frame> frames;
  Bytes expected;        // the output of all frames, when none fails
  int failing_frame = -1;  // the frame that must fail, if any
};

Bytes bytes_of(const std::string &text) { return Bytes(text.begin(), text.end()); }

// The output of `literals` followed by matches of (length, offset), copied byte by byte.
Bytes with_matches(Bytes out, const std::vector<std::pair<uint32_t, uint32_t>> &matches) {
  for (auto [len, offset] : matches) {
    for (uint32_t i = 0; i < len; ++i) out.push_back(out[out.size() - offset]);
  }
  return out;
}

// A main tree with every literal and `elements`; a length tree over `symbols` (none: empty).
std::vector<uint8_t> main_tree(const LzxFrameBuilder &b, std::vector<uint32_t> elements) {
  return complete_lengths(b.nmain, literals_and(std::move(elements)));
}
std::vector<uint8_t> length_tree(std::vector<uint32_t> symbols = {}) {
  return symbols.empty() ? std::vector<uint8_t>(kLzxLengthSymbols, 0) : complete_lengths(kLzxLengthSymbols, symbols);
}

// A verbatim block of `text` as literals, with trees that hold every literal and `elements`.
void literal_block(LzxFrameBuilder &b, const std::string &text, std::vector<uint32_t> elements = {}) {
  b.header(kLzxVerbatim, static_cast<uint32_t>(text.size())).trees(main_tree(b, std::move(elements)), length_tree());
  b.literals(bytes_of(text));
}

void uncompressed_header(LzxFrameBuilder &b, uint32_t nbytes, uint32_t r0 = 1, uint32_t r1 = 1, uint32_t r2 = 1) {
  b.header(kLzxUncompressed, nbytes);
  b.w.pad_uncompressed().raw_le32(r0).raw_le32(r1).raw_le32(r2);
}

void run_stream(const Stream &stream) {
  LzxHarness harness(stream.window_bits);
  Bytes all;
  for (size_t i = 0; i < stream.frames.size(); ++i) {
    const DecodeResult result = harness.decode(stream.frames[i].data, stream.frames[i].nbytes);
    if (static_cast<int>(i) == stream.failing_frame) {
      EXPECT_EQ(result.rc, DEC_DATA_ERROR) << "frame " << i;
      EXPECT_EQ(result.nbytes, 0u);
      return;
    }
    ASSERT_EQ(result.rc, DEC_OK) << "frame " << i;
    ASSERT_EQ(result.nbytes, stream.frames[i].nbytes);
    const Bytes out = harness.output(result);
    all.insert(all.end(), out.begin(), out.end());
  }
  EXPECT_EQ(stream.failing_frame, -1) << "no frame failed";
  EXPECT_EQ(all, stream.expected);
}

struct Case {
  const char *name;
  std::function<Stream()> make;
};

void PrintTo(const Case &c, std::ostream *os) { *os << c.name; }

class LzxStreams : public testing::TestWithParam<Case> {};

TEST_P(LzxStreams, DecodeAsBuilt) { run_stream(GetParam().make()); }

// One frame of one verbatim block: `text` as literals, then matches given as (length, slot,
// extra bits), with trees holding the literals and those matches.
Stream verbatim_matches(const std::string &text, const std::vector<std::array<uint32_t, 3>> &matches,
                        const std::vector<std::pair<uint32_t, uint32_t>> &expected_offsets) {
  LzxFrameBuilder b(15);
  std::vector<uint32_t> elements, lengths;
  uint32_t nbytes = static_cast<uint32_t>(text.size());
  for (const auto &[len, slot, extra] : matches) {
    elements.push_back(lzx_match_element(slot, len));
    if (len >= 9) lengths.push_back(len - 9);
    nbytes += len;
  }
  if (lengths.size() == 1) lengths.push_back(lengths[0] == 0 ? 1 : 0);
  b.translation(std::nullopt).header(kLzxVerbatim, nbytes).trees(main_tree(b, elements), length_tree(lengths));
  b.literals(bytes_of(text));
  for (const auto &[len, slot, extra] : matches) b.match(len, slot, extra);
  return {15, {{b.frame(), nbytes}}, with_matches(bytes_of(text), expected_offsets)};
}

const Case kMatchCases[] = {
    {"slot3_is_offset_1", [] { return verbatim_matches("x", {{10, 3, 0}}, {{10, 1}}); }},
    // R0..R2 after each match: [6,1,1] [4,6,1] [3,4,6]; slot 2 swaps R0 and R2: [6,4,3]; slot 1
    // swaps R0 and R1: [4,6,3]; slot 0 keeps them.
    {"repeated_offsets",
     [] {
       return verbatim_matches("0123456789", {{2, 6, 0}, {2, 5, 0}, {2, 4, 1}, {3, 2, 0}, {4, 1, 0}, {5, 0, 0}},
                               {{2, 6}, {2, 4}, {2, 3}, {3, 6}, {4, 4}, {5, 4}});
     }},
    {"longest_match_257", [] { return verbatim_matches("ab", {{257, 4, 0}, {9, 0, 0}}, {{257, 2}, {9, 2}}); }},
    {"aligned_offsets",
     [] {
       // Slot 8 has 3 extra bits (all aligned), slot 10 has 4 (one plain, then aligned), slot 6
       // has 2 (plain), slot 3 none. The aligned code is incomplete, which is allowed.
       LzxFrameBuilder b(16);
       Bytes text;
       for (uint8_t i = 0; i < 48; ++i) text.push_back(static_cast<uint8_t>('0' + i));
       std::vector<uint8_t> aligned(8, 0);
       aligned[0] = aligned[1] = aligned[5] = 2;
       b.translation(std::nullopt).header(kLzxAligned, 48 + 12).aligned_tree(aligned);
       b.trees(main_tree(b, {lzx_match_element(8, 3), lzx_match_element(10, 3), lzx_match_element(6, 3),
                             lzx_match_element(3, 3)}),
               length_tree());
       b.literals(text).aligned_match(3, 8, 5).aligned_match(3, 10, 9).match(3, 6, 3).match(3, 3);
       return Stream{16, {{b.frame(), 60}}, with_matches(text, {{3, 19}, {3, 39}, {3, 9}, {3, 1}})};
     }},
    {"trees_coded_against_the_previous_block",
     [] {
       // The second block, in the same frame, has other trees, sent as changes to the first's.
       LzxFrameBuilder b(15);
       b.translation(std::nullopt);
       literal_block(b, "first");
       b.header(kLzxVerbatim, 6).trees(main_tree(b, {lzx_match_element(3, 2), lzx_match_element(9, 5)}),
                                        length_tree({0, 7, 100}));
       b.literals(bytes_of("second"));
       return Stream{15, {{b.frame(), 11}}, bytes_of("firstsecond")};
     }},
};
INSTANTIATE_TEST_SUITE_P(Matches, LzxStreams, testing::ValuesIn(kMatchCases),
                         [](const testing::TestParamInfo<Case> &info) { return info.param.name; });

// A verbatim block of `n` bytes 0xFF, whose code is 9 bits long, so that some n puts what follows
// on any bit position modulo 16.
void odd_literals(LzxFrameBuilder &b, size_t n) { literal_block(b, std::string(n, '\xff'), {lzx_match_element(3, 2)}); }

size_t bits_after_literals(size_t n) {
  LzxFrameBuilder b(15);
  b.translation(std::nullopt);
  odd_literals(b, n);
  return b.w.nbits();
}

const Case kUncompressedCases[] = {
    {"header_on_a_word_boundary_is_followed_by_a_whole_padding_word",
     [] {
       size_t n = 1;
       while ((bits_after_literals(n) + 27) % 16 != 0) ++n;
       LzxFrameBuilder b(15);
       b.translation(std::nullopt);
       odd_literals(b, n);
       uncompressed_header(b, 4);
       b.w.raw(bytes_of("wxyz"));
       return Stream{15, {{b.frame(), static_cast<uint32_t>(n + 4)}}, bytes_of(std::string(n, '\xff') + "wxyz")};
     }},
    {"odd_block_is_followed_by_a_padding_byte_and_sets_the_repeated_offsets",
     [] {
       LzxFrameBuilder b(15);
       b.translation(std::nullopt);
       uncompressed_header(b, 3, 2, 7, 9);
       b.w.raw(bytes_of("abc")).raw(bytes_of("\xff"));
       b.header(kLzxVerbatim, 4).trees(main_tree(b, {lzx_match_element(0, 4), lzx_match_element(1, 2)}), length_tree());
       b.match(4, 0);
       return Stream{15, {{b.frame(), 7}}, bytes_of("abcbcbc")};
     }},
    {"padding_byte_of_a_block_that_ends_a_frame_opens_the_next",
     [] {
       LzxFrameBuilder b(15);
       b.translation(std::nullopt);
       uncompressed_header(b, 3);
       b.w.raw(bytes_of("abc"));
       Bytes first = b.frame();
       b.w.raw(bytes_of("\x5a"));
       literal_block(b, "de");
       return Stream{15, {{first, 3}, {b.frame(), 2}}, bytes_of("abcde")};
     }},
    {"block_runs_on_across_frames",
     [] {
       LzxFrameBuilder b(15);
       b.translation(std::nullopt);
       uncompressed_header(b, 10);
       b.w.raw(bytes_of("abcd"));
       Bytes first = b.frame();
       b.w.raw(bytes_of("efghij"));
       return Stream{15, {{first, 4}, {b.frame(), 6}}, bytes_of("abcdefghij")};
     }},
    {"data_shorter_than_asked",
     [] {
       LzxFrameBuilder b(15);
       b.translation(std::nullopt);
       uncompressed_header(b, 10);
       b.w.raw(bytes_of("abcdefghi"));
       return Stream{15, {{b.frame(), 10}}, {}, 0};
     }},
    {"repeated_offsets_missing",
     [] {
       LzxFrameBuilder b(15);
       b.translation(std::nullopt).header(kLzxUncompressed, 4);
       b.w.pad_uncompressed().raw_le32(1).raw_le32(1);
       return Stream{15, {{b.frame(), 4}}, {}, 0};
     }},
    {"repeated_offset_0_is_refused",
     [] {
       LzxFrameBuilder b(15);
       b.translation(std::nullopt);
       uncompressed_header(b, 2, 0);
       b.w.raw(bytes_of("ab"));
       b.header(kLzxVerbatim, 2).trees(main_tree(b, {lzx_match_element(0, 2), lzx_match_element(1, 2)}), length_tree());
       b.match(2, 0);
       return Stream{15, {{b.frame(), 4}}, {}, 0};
     }},
};
INSTANTIATE_TEST_SUITE_P(Uncompressed, LzxStreams, testing::ValuesIn(kUncompressedCases),
                         [](const testing::TestParamInfo<Case> &info) { return info.param.name; });

// A repeated offset from an uncompressed header reaches back `offset` bytes of 32768 + 100 bytes
// of history in a window of 2^15: the window's size is the farthest a match may reach.
Stream repeated_offset_after_full_window(uint32_t offset, bool valid) {
  Bytes history(32768 + 100);
  for (size_t i = 0; i < history.size(); ++i) history[i] = static_cast<uint8_t>(i * 7 + i / 256);
  LzxFrameBuilder b(15);
  b.translation(std::nullopt);
  uncompressed_header(b, static_cast<uint32_t>(history.size()), offset);
  b.w.raw(history.data(), 32768);
  Bytes first = b.frame();
  b.w.raw(history.data() + 32768, 100);
  b.header(kLzxVerbatim, 3).trees(main_tree(b, {lzx_match_element(0, 3), lzx_match_element(1, 3)}), length_tree());
  b.match(3, 0);
  Stream stream{15, {{first, 32768}, {b.frame(), 103}}, with_matches(history, {{3, offset}})};
  if (!valid) stream.failing_frame = 1;
  return stream;
}

const Case kReachCases[] = {
    {"offset_of_the_whole_window", [] { return repeated_offset_after_full_window(32768, true); }},
    {"offset_beyond_the_window", [] { return repeated_offset_after_full_window(32769, false); }},
    {"farthest_slot_offset_of_the_smallest_window",
     [] {
       // Slot 29 with all 13 extra bits set is offset 2^15 - 3, the farthest a window of 2^15 codes.
       Bytes history(32768);
       for (size_t i = 0; i < history.size(); ++i) history[i] = static_cast<uint8_t>(i ^ (i >> 8));
       LzxFrameBuilder b(15);
       b.translation(std::nullopt);
       uncompressed_header(b, 32768);
       b.w.raw(history);
       Bytes first = b.frame();
       b.header(kLzxVerbatim, 5)
           .trees(main_tree(b, {lzx_match_element(29, 5), lzx_match_element(0, 2)}), length_tree());
       b.match(5, 29, 8191);
       return Stream{15, {{first, 32768}, {b.frame(), 5}}, with_matches(history, {{5, 32765}})};
     }},
    {"offset_before_the_folder_start",
     [] {
       Stream s = verbatim_matches("ab", {{2, 4, 1}}, {});
       s.failing_frame = 0;
       return s;
     }},
    {"match_past_the_frame",
     [] {
       Stream s = verbatim_matches("abc", {{4, 3, 0}}, {});
       s.frames[0].nbytes -= 1;
       s.failing_frame = 0;
       return s;
     }},
    {"match_past_its_block_inside_the_frame",
     [] {
       LzxFrameBuilder b(15);
       b.translation(std::nullopt)
           .header(kLzxVerbatim, 4)
           .trees(main_tree(b, {lzx_match_element(3, 4)}), length_tree());
       b.literal('a').match(4, 3);
       literal_block(b, "b");
       return Stream{15, {{b.frame(), 5}}, {}, 0};
     }},
};
INSTANTIATE_TEST_SUITE_P(Reach, LzxStreams, testing::ValuesIn(kReachCases),
                         [](const testing::TestParamInfo<Case> &info) { return info.param.name; });

// A main tree of literals 'a' to 'p' and match elements 256 to 271, all 5 bits, sent with runs:
// 18 for long zero runs, 19 for the 16 equal lengths, and a 17 that overruns its range's end.
Stream pretree_runs(uint32_t second_symbol) {
  LzxFrameBuilder b(15);
  std::vector<uint32_t> used;
  for (uint32_t s = 'a'; s <= 'p'; ++s) used.push_back(s);
  for (uint32_t e = 256; e < 272; ++e) used.push_back(e);
  const std::vector<uint8_t> main = complete_lengths(b.nmain, used);
  const uint32_t change = (0 + 17 - 5) % 17;
  const std::vector<PretreeOp> equal_16 = {{19, 1, second_symbol}, {19, 1, change}, {19, 1, change}, {change}};
  std::vector<PretreeOp> literals = {{18, 31}, {18, 26}};  // 'a' is 97: 51 + 46 zeros
  literals.insert(literals.end(), equal_16.begin(), equal_16.end());
  literals.insert(literals.end(), {{18, 31}, {18, 31}, {18, 20}, {17, 15}});  // 143 zeros; the 17 is cut to 1
  std::vector<PretreeOp> elements = equal_16;
  for (uint32_t left = b.nmain - 272; left > 0; left -= std::min(left, 51u)) elements.push_back({18, 31});
  b.translation(std::nullopt).header(kLzxVerbatim, 6);
  b.tree_range(literals).tree_range(elements).tree_range({{18, 31}, {18, 31}, {18, 31}, {18, 31}, {18, 31}});
  b.use_trees(main, length_tree());
  b.literal('a').literal('p').match(4, 0);
  return {15, {{b.frame(), 6}}, bytes_of("appppp")};
}

const Case kTreeCases[] = {
    {"pretree_runs", [] { return pretree_runs((0 + 17 - 5) % 17); }},
    {"run_inside_a_run_is_refused",
     [] {
       Stream s = pretree_runs(17);
       s.failing_frame = 0;
       return s;
     }},
    {"empty_trees_for_an_empty_block",
     [] {
       LzxFrameBuilder b(15);
       b.translation(std::nullopt).header(kLzxVerbatim, 0).trees(std::vector<uint8_t>(b.nmain, 0), length_tree());
       literal_block(b, "ok");
       return Stream{15, {{b.frame(), 2}}, bytes_of("ok")};
     }},
};
INSTANTIATE_TEST_SUITE_P(Trees, LzxStreams, testing::ValuesIn(kTreeCases),
                         [](const testing::TestParamInfo<Case> &info) { return info.param.name; });

// Frames that must fail, each at its first frame.
struct BadCase {
  const char *name;
  std::function<Bytes()> frame;
  uint32_t nbytes;
};

void PrintTo(const BadCase &c, std::ostream *os) { *os << c.name; }

class LzxBadFrames : public testing::TestWithParam<BadCase> {};

TEST_P(LzxBadFrames, FailWithNothingProduced) {
  run_stream(Stream{15, {{GetParam().frame(), GetParam().nbytes}}, {}, 0});
}

Bytes block_of_kind(uint32_t kind) {
  LzxFrameBuilder b(15);
  b.translation(std::nullopt).header(kind, 4);
  return b.frame();
}

// A verbatim block of "abcd" whose main tree is `main` (the first literals' lengths changed by
// `edit`), then the symbols as the builder codes them.
Bytes block_with_main(const std::function<void(std::vector<uint8_t> &)> &edit) {
  LzxFrameBuilder b(15);
  std::vector<uint8_t> main = main_tree(b, {lzx_match_element(3, 2)});
  edit(main);
  b.translation(std::nullopt).header(kLzxVerbatim, 4).trees(main, length_tree()).literals(bytes_of("abcd"));
  return b.frame();
}

const BadCase kBadCases[] = {
    {"block_kind_0", [] { return block_of_kind(0); }, 4},
    {"block_kind_4", [] { return block_of_kind(4); }, 4},
    {"block_kind_5", [] { return block_of_kind(5); }, 4},
    {"block_kind_6", [] { return block_of_kind(6); }, 4},
    {"block_kind_7", [] { return block_of_kind(7); }, 4},
    {"incomplete_main_tree", [] { return block_with_main([](auto &lens) { lens[0] += 1; }); }, 4},
    {"over_subscribed_main_tree", [] { return block_with_main([](auto &lens) { lens[0] -= 1; }); }, 4},
    {"main_tree_of_one_code",
     [] { return block_with_main([](auto &lens) { std::fill(lens.begin(), lens.end(), 0), lens['a'] = 1; }); }, 4},
    {"empty_main_tree_with_bytes_to_make",
     [] { return block_with_main([](auto &lens) { std::fill(lens.begin(), lens.end(), 0); }); }, 4},
    {"long_match_with_an_empty_length_tree",
     [] {
       LzxFrameBuilder b(15);
       b.translation(std::nullopt)
           .header(kLzxVerbatim, 11)
           .trees(main_tree(b, {lzx_match_element(3, 10)}), length_tree());
       b.literal('a').match(10, 3, 0);  // the length symbol's code is empty: nothing is written for it
       return b.frame();
     },
     11},
    {"over_subscribed_aligned_tree",
     [] {
       LzxFrameBuilder b(15);
       b.translation(std::nullopt).header(kLzxAligned, 4).aligned_tree({1, 1, 1, 0, 0, 0, 0, 0});
       b.trees(main_tree(b, {}), length_tree()).literals(bytes_of("abcd"));
       return b.frame();
     },
     4},
    {"aligned_code_that_no_symbol_has",
     [] {
       LzxFrameBuilder b(15);
       b.translation(std::nullopt).header(kLzxAligned, 23).aligned_tree({2, 2, 0, 0, 0, 2, 0, 0});
       b.trees(main_tree(b, {lzx_match_element(8, 3)}), length_tree()).literals(Bytes(20, 'q'));
       // Slot 8's 3 extra bits are all aligned; the codes are 00, 01 and 10, and 11 is no symbol's.
       b.match_symbols(3, 8).bits(3, 2);
       return b.frame();
     },
     23},
    {"bits_run_out",
     [] {
       LzxFrameBuilder b(15);
       b.translation(std::nullopt);
       literal_block(b, std::string(200, 'z'));
       Bytes frame = b.frame();
       frame.resize(frame.size() - 8);
       return frame;
     },
     200},
    {"no_input_at_all", [] { return Bytes{}; }, 1},
};
INSTANTIATE_TEST_SUITE_P(Refused, LzxBadFrames, testing::ValuesIn(kBadCases),
                         [](const testing::TestParamInfo<BadCase> &info) { return info.param.name; });

}  // namespace
}  // namespace cabtest
