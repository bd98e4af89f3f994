// Every file a command writes goes through here, the way sox or git write theirs: the
// name is checked before any work, the content goes to a private temporary file in the
// same folder (unnamed where the system allows, or under Windows marked for deletion until
// committed, so a killed run leaves nothing), and only a complete file is put in place.
// "-" is standard output.
#pragma once

#include <string>
#include <vector>

namespace lumhost {

class OutputFile {
public:
    // Checks `path` and creates the temporary file, so every output of a command can be
    // checked before any is written. A symbolic link is written through to its target;
    // devices, folders and any of `inputs` are refused, and an existing file unless
    // `replaceExisting`. Throws UserError naming `path`.
    OutputFile(const std::string& path, bool replaceExisting, const std::vector<std::string>& inputs = {});
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    // Removes the temporary file unless committed.
    ~OutputFile();

    // The name as the user gave it, for messages.
    const std::string& path() const { return path_; }
    bool isStandardOutput() const { return path_ == "-"; }
    // Where the content is written: a C runtime descriptor, which another program may inherit.
    int descriptor() const { return descriptor_; }
    // Appends `content`. Throws UserError.
    void write(const std::string& content) const;
    // Whether this and `other` end in the same file.
    bool sameTarget(const OutputFile& other) const { return target_ == other.target_; }

    // Puts the temporary file in the target's place, or copies it to standard output.
    // Unless replacing was allowed, a file that appeared at the target meanwhile is kept and
    // the commit refused. Throws UserError.
    void commit();

private:
    // The platform's part: the temporary file in `folder`, and putting it in place.
    void createTemporary(const std::string& folder);
    void placeAtTarget();

    std::string path_;
    std::string target_;  // absolute, through any symbolic links; "-" for standard output
    std::string temporary_;
    int descriptor_ = -1;
    bool named_ = false;  // the temporary file has a name in the folder
    bool replaceExisting_ = false;
    bool committed_ = false;
};

// The extension of the file `path` names, lower case and without its dot; empty when
// the name has none. An output's format follows it.
std::string lowerCaseExtension(const std::string& path);

// Throws UserError when two of `outputs` end in the same file.
void refuseSharedTargets(const std::vector<const OutputFile*>& outputs);

}  // namespace lumhost
