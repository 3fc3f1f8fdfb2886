// Writing the finished image in the format asked for: a file replaced
// atomically, or standard output.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "lumarin/save_options.hpp"

#include "lumarin/picture.hpp"
#include "lumarin/printer.hpp"
#include "surface/file.hpp"
#include "tools/lumarin/command_error.hpp"
#include "tools/lumarin/options.hpp"

namespace lumarin::cli {

// Throws a file CommandError when descriptor 1 is closed (`-o - >&-`).
void refuse_closed_stdout();

// A usage CommandError when -o names standard output as a file
// (/dev/stdout, /dev/fd/1, or the pipe or terminal descriptor 1 is): it
// cannot be replaced as a file is, and -o - writes it.
void refuse_stdout_by_name(const std::string& output);

// Before anything is drawn: the JobError the save would give when -o's
// folder is missing, is not a folder, or cannot be written in by this
// user (root may write anywhere but on a read-only file system). Nothing
// is created; whatever else stops the save is still found by it.
void check_output_folder(const std::string& output);

// Text (--help, --version) to standard output; throws a file CommandError
// as an image's bytes would.
void write_text(const std::string& text);

// Throws lumarin::Error naming -o when the file cannot be written, and a
// file CommandError when standard output is closed or its reader has gone.
// `last` is the job's final save, the one that is synced; `warn` hears
// what access a replaced file lost where --allow-lost-access lets it.
void write_image(const Picture& picture, const Options& options, bool last,
                 const std::function<void(const std::string&)>& warn);

// Where a printer's bytes go as they are made: the printer (--to), standard
// output, or -o's file, which takes its name only once all are written.
class ByteOutput {
public:
    ByteOutput(const Options& options, const std::function<void()>& check_stop,
               const std::function<void(const std::string&)>& warn);
    void write(std::span<const std::byte> bytes);
    // The job is done only once this returns: the printer took it all, or
    // the file has its name.
    void finish();

private:
    std::string where_;
    std::unique_ptr<PrinterConnection> printer_;
    std::optional<ReplacementFile> file_;
};

// A usage CommandError when --to names a regular file or a folder: those
// are written with -o.
void refuse_file_as_printer(const std::string& to);

// How the job's saves replace the file, by the options.
SaveOptions save_options(const Options& options, bool last, const std::function<void(const std::string&)>& warn);

}  // namespace lumarin::cli
