#include "file_tree.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "base/container_name.h"

namespace fs = std::filesystem;

namespace {

constexpr char kExtension[] = ".tdz";

bool Picked(const std::string& path, TreePick pick)
{
    return EndsWithContainerExtension(path) == (pick == TreePick::Containers);
}

std::string Joined(const std::string& folder, const std::string& leaf)
{
    const bool slash = !folder.empty() && (folder.back() == '/' || folder.back() == '\\');
    return folder + (slash ? "" : "/") + leaf;
}

// Collects the picked regular files under folder, shown under the spelling
// the user gave. An unreadable folder is reported and the walk goes on.
bool Walk(const std::string& folder, TreePick pick, std::vector<std::string>* found, std::vector<std::string>* errors)
{
    bool ok = true;
    std::vector<std::string> subfolders;
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        std::error_code statusError;
        const fs::file_status status = it->symlink_status(statusError);
        const std::string path = Joined(folder, it->path().filename().string());
        if (fs::is_directory(status))
            subfolders.push_back(path);
        else if (fs::is_regular_file(status) && Picked(path, pick))
            found->push_back(path);
    }
    if (ec) {
        errors->push_back("cannot read the folder '" + folder + "': " + ec.message());
        ok = false;
    }
    std::sort(subfolders.begin(), subfolders.end());
    for (const std::string& subfolder : subfolders)
        ok = Walk(subfolder, pick, found, errors) && ok;
    return ok;
}

}  // namespace

bool EndsWithContainerExtension(const std::string& path)
{
    // The project's one name rule, less a name that is the extension alone:
    // it holds no file name to restore to.
    const size_t n = sizeof kExtension - 1;
    if (path.size() <= n || !HasContainerExtension(path.c_str()))
        return false;
    const char before = path[path.size() - n - 1];
    return before != '/' && before != '\\';
}

bool ExpandArguments(const std::vector<std::string>& arguments, bool recursive, TreePick pick,
                     std::vector<std::string>* files, std::vector<std::string>* errors)
{
    bool ok = true;
    for (const std::string& argument : arguments) {
        std::error_code ec;
        // A link to a folder is not followed: the tree is what lies under
        // the name given.
        if (!recursive || !fs::is_directory(fs::symlink_status(argument, ec))) {
            files->push_back(argument);
            continue;
        }
        // The whole tree is listed before any file is written into it.
        std::vector<std::string> found;
        ok = Walk(argument, pick, &found, errors) && ok;
        std::sort(found.begin(), found.end());
        files->insert(files->end(), found.begin(), found.end());
    }
    return ok;
}
