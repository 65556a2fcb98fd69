// replace_file_contents, the same on every platform over the operations of
// file_primitives.h. The file must stay what it was (owner, access rights, ACL, extended
// attributes, hard links), so a new file is renamed over it only when it can be given all
// of that; otherwise the original is copied aside and overwritten where it stands. Either
// way a full disk or an I/O error part way leaves the original byte for byte as it was.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include "file_system/file_primitives.h"
#include "file_system/file_system.h"

namespace {

// A file of ours, removed on every path that does not keep it (by emptying its name). It is
// closed first: Windows removes no file that is still open.
struct own_file {
  native_path name;
  scoped_file handle;
  ~own_file() {
    if (name.empty()) return;
    handle = scoped_file();
    remove_file(name);
  }
};

// A name holds at most 255 bytes (POSIX) or UTF-16 units (Windows); ours add a dot and a
// suffix to the original's, so a long one is cut short there, or the longest names could
// never be saved.
constexpr std::size_t longest_kept_name = 200;

native_path ascii(std::string_view text) { return native_path(text.begin(), text.end()); }

// The folder of path, ending in its separator; empty for a bare name.
native_path folder_of(const native_path& path) {
  const std::size_t separator = path.find_last_of(path_separators);
  return separator == native_path::npos ? native_path() : path.substr(0, separator + 1);
}

// The start of the name of a file of ours in folder, for target: ".site.css.cssqueeze-", or
// ".site.css.cssqueeze-original-" for the copy of the original (kind "-original"), on every
// system and in every folder, as the README names it; the platform adds what makes it
// unique.
native_path name_for(const native_path& folder, const native_path& target,
                     std::string_view kind) {
  native_path name = target.substr(folder_of(target).size());
  if (name.size() > longest_kept_name) {
    // Never half of a UTF-16 surrogate pair. A POSIX name is bytes, cut at the limit
    // whatever they spell: no byte reaches that range.
    const std::uint32_t last =
        static_cast<std::make_unsigned_t<native_path::value_type>>(name[longest_kept_name - 1]);
    name.resize(last >= 0xD800 && last <= 0xDBFF ? longest_kept_name - 1 : longest_kept_name);
  }
  return folder + ascii(".") + name + ascii(".cssqueeze") + ascii(kind) + ascii("-");
}

// Makes file a new file whose name starts with path; false when none can be made.
bool create(native_path path, bool owner_only, own_file& file) {
  file.handle = create_new_file(path, owner_only);
  if (file.handle.valid()) file.name = std::move(path);
  return file.handle.valid();
}

// Makes the new file for the original's new contents, beside it.
bool create_beside(const original_file& original, own_file& file) {
  return create(name_for(folder_of(original.path), original.path, ""), false, file);
}

// Gives the new file, written whole, everything the original has and puts it in the
// original's place.
rename_outcome put_new_file_in_place(const original_file& original, own_file& temporary) {
  if (!give_metadata(original, temporary.handle)) return rename_outcome::not_possible;
  if (!sync(temporary.handle) || !temporary.handle.close()) return rename_outcome::failed;
  const rename_outcome outcome = put_in_place(std::exchange(temporary.name, {}), original);
  if (outcome == rename_outcome::done) sync_folder(folder_of(original.path));
  return outcome;
}

// Writes the new contents into a new file beside the original, gives it everything the
// original has, and puts it in the original's place.
rename_outcome replace_through_new_file(const original_file& original, std::string_view bytes) {
  own_file temporary;
  // A folder that refuses a new file may still let the file itself be written.
  if (!create_beside(original, temporary)) {
    return rename_outcome::not_possible;
  }
  if (!write_at(temporary.handle, 0, bytes)) return rename_outcome::failed;
  return put_new_file_in_place(original, temporary);
}

// Copies all of from into to, both from their first byte, and counts the bytes.
bool copy_whole(scoped_file& from, scoped_file& to, std::uint64_t& copied) {
  std::string buffer(std::size_t{1} << 20, '\0');
  for (copied = 0;;) {
    const long long got = read_at(from, copied, buffer.data(), buffer.size());
    if (got <= 0) return got == 0;
    if (!write_at(to, copied, std::string_view(buffer.data(), static_cast<std::size_t>(got)))) {
      return false;
    }
    copied += static_cast<std::uint64_t>(got);
  }
}

// The copy of the original that an overwrite in place keeps until it is done: beside the
// file where its folder allows, else in the user's temporary folder. Its name says whose
// copy it is, so that one left by a run that was killed can be recognised. Only the running
// user may open it, who could read the original; its other readers are not known here.
bool create_copy(const native_path& target, own_file& copy) {
  if (create(name_for(folder_of(target), target, "-original"), true, copy)) return true;
  const native_path folder = temporary_folder();
  return !folder.empty() && create(name_for(folder, target, "-original"), true, copy);
}

// Puts the copy's bytes back over the original and makes them durable.
bool put_back(scoped_file& copy, scoped_file& original, std::uint64_t length) {
  std::uint64_t copied = 0;
  return copy_whole(copy, original, copied) && copied == length && cut(original, length) &&
         sync(original);
}

// Overwrites the file itself, so that it keeps every link, its owner and its ACL. Since the
// contents are rewritten from the first byte, a durable copy of the original comes first;
// any failure puts the original back from it. The new text is never longer than the old
// one, so the file is cut to length last, once the new bytes are safe.
write_result overwrite_in_place(original_file& original, std::string_view bytes,
                                std::string& kept_copy) {
  own_file copy;
  if (!ready_to_overwrite(original) || !create_copy(original.path, copy)) {
    return write_result::write_failed;
  }
  std::uint64_t length = 0;
  if (!copy_whole(original.handle, copy.handle, length) || !sync(copy.handle)) {
    return write_result::write_failed;
  }
  sync_folder(folder_of(copy.name));

  if (write_at(original.handle, 0, bytes) && sync(original.handle) &&
      cut(original.handle, bytes.size()) && sync(original.handle)) {
    return write_result::ok;
  }
  if (put_back(copy.handle, original.handle, length)) return write_result::write_failed;
  // The file holds neither text whole: the copy is all that is left of the original.
  kept_copy = shown_path(std::exchange(copy.name, {}));
  return write_result::original_kept_aside;
}

}  // namespace

write_result replace_file_contents(const std::string& path, std::string_view bytes,
                                   std::string& kept_copy) {
  original_file original;
  if (!open_original(path, original)) return write_result::cannot_open;
  // A new file put in the place of one of several links would leave the others behind.
  const rename_outcome renamed = original.links == 1 ? replace_through_new_file(original, bytes)
                                                     : rename_outcome::not_possible;
  if (renamed == rename_outcome::done) return write_result::ok;
  if (renamed == rename_outcome::failed) return write_result::write_failed;
  return overwrite_in_place(original, bytes, kept_copy);
}

struct new_file_contents::state {
  original_file original;
  own_file temporary;
  std::uint64_t written = 0;
  bool begun = false;
  bool write_failed = false;
};

new_file_contents::new_file_contents(const std::string& path) : state_(std::make_unique<state>()) {
  state& s = *state_;
  // A new file put in the place of one of several links would leave the others behind.
  s.begun = open_original(path, s.original) && s.original.links == 1 &&
            create_beside(s.original, s.temporary);
}

new_file_contents::~new_file_contents() = default;

void new_file_contents::append(std::string_view bytes) {
  if (state_ == nullptr || !state_->begun || state_->write_failed) return;
  state_->write_failed = !write_at(state_->temporary.handle, state_->written, bytes);
  // The disk takes each part while the next ones are made, not all of them at the sync.
  if (!state_->write_failed) {
    start_writing_back(state_->temporary.handle, state_->written, bytes.size());
  }
  state_->written += bytes.size();
}

std::optional<write_result> new_file_contents::finish() {
  // Whatever comes of it, this save is over: its files are closed, and the new one is
  // removed unless it took the original's place, before a save from the whole text begins.
  const std::unique_ptr<state> s = std::move(state_);
  if (s == nullptr || !s->begun) return std::nullopt;
  if (s->write_failed) return write_result::write_failed;
  switch (put_new_file_in_place(s->original, s->temporary)) {
    case rename_outcome::done:
      return write_result::ok;
    case rename_outcome::failed:
      return write_result::write_failed;
    case rename_outcome::not_possible:
      break;
  }
  return std::nullopt;
}
