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

// Runs work(k, bytes, size) on each piece k of text[0, size), each on a thread of its own
// but the first, on this one. Work shortens its piece in place, and may lengthen the last
// one into the bytes past `size`. The pieces are then moved together, and size becomes
// their length.
void share_work(char* text, const std::vector<std::size_t>& cuts, std::size_t& size,
                const std::function<void(std::size_t, char*, std::size_t&)>& work);

#endif  // MINIFIER_SHARED_WORK_H_
