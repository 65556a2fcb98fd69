// The text stages shared among threads: the text is cut where each piece goes through a
// stage alone into exactly the bytes it gives inside the whole, the pieces go through it at
// once, and they are then put back together (see shared_work.cc).
#ifndef MINIFIER_SHARED_WORK_H_
#define MINIFIER_SHARED_WORK_H_

#include <cstddef>
#include <functional>
#include <string_view>
#include <vector>

// Where text may be cut into up to `pieces` pieces of at least smallest_piece bytes:
// the first piece's start (0) and each cut after it. Where no place is near enough, fewer
// pieces are made, down to one. with_comments: the text still holds its comments, and
// no comment may be open across a cut either.
std::vector<std::size_t> find_cuts(std::string_view text, std::size_t pieces,
                                   std::size_t smallest_piece, bool with_comments);

// Runs work(k, bytes, size) on each piece k of text[0, size), on up to `threads` threads,
// this one among them, each taking the next piece that no thread has taken. Work shortens
// its piece in place, and may lengthen the last one into the bytes past `size`. Once a
// piece and every piece before it are done, it is moved behind them, and done_piece (when
// given) gets it there: in their order, one call at a time, on whichever thread is free to
// pass it on; done_piece must not throw. At the end size is the pieces' length.
void share_work(char* text, const std::vector<std::size_t>& cuts, std::size_t threads,
                std::size_t& size,
                const std::function<void(std::size_t, char*, std::size_t&)>& work,
                const std::function<void(std::string_view)>& done_piece = {});

#endif  // MINIFIER_SHARED_WORK_H_
