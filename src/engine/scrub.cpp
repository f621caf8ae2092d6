#include "engine/scrub.h"

#include <filesystem>
#include <set>

#include "base/text.h"
#include "engine/fspath.h"
#include "engine/filelist.h"
#include "engine/kinds.h"
#include "engine/view.h"
#include "props/backend.h"
#include "props/filestamp.h"

namespace qv::engine {

namespace {

namespace fs = std::filesystem;


// A path with every link and "." or ".." taken out, as far as it exists.
fs::path settled(const std::string& path) {
    std::error_code ec;
    fs::path p = fs::weakly_canonical(fs::absolute(fsPath(path), ec), ec);
    return ec ? fs::absolute(fsPath(path)).lexically_normal() : p;
}

bool within(const fs::path& inner, const fs::path& outer) {
    auto i = inner.begin(), o = outer.begin();
    for (; o != outer.end(); ++o, ++i) {
        if (o->empty() && std::next(o) == outer.end())
            break;  // a trailing separator
        if (i == inner.end() || *i != *o)
            return false;
    }
    return true;
}

// The files in a tree that the folder search leaves out.
void collectOthers(const std::string& top, bool recursive, std::vector<std::string>& out) {
    std::vector<std::string> pending{top};
    std::set<platform::FileIdentity> searched;
    while (!pending.empty()) {
        const std::string folder = std::move(pending.back());
        pending.pop_back();
        auto id = platform::fileIdentity(folder);
        if (id && !searched.insert(*id).second)
            continue;
        auto listing = platform::listFolder(folder);
        if (!listing)
            continue;
        for (const std::string& name : listing->files) {
            std::string full = platform::joinPath(folder, name);
            if (!IsDocumentCandidate(full))
                out.push_back(std::move(full));
        }
        if (recursive)
            for (const std::string& f : listing->folders)
                pending.push_back(platform::joinPath(folder, f));
    }
}

}  // namespace

ScrubInputs CollectScrubInputs(const std::vector<std::string>& args, bool recursive) {
    ScrubInputs in;
    std::vector<ScrubInput> all;
    for (const std::string& a : args) {
        if (!platform::isDirectory(a)) {
            all.push_back({a, text::fileNamePart(a)});
            continue;
        }
        in.folders.push_back(a);
        const fs::path root = fsPath(a);
        for (std::string& p : DocumentsInFolder(a, recursive)) {
            std::string relative = utf8Of(fsPath(p).lexically_relative(root));
            all.push_back({std::move(p), std::move(relative)});
        }
        collectOthers(a, recursive, in.notDocuments);
    }
    std::vector<std::string> paths;
    for (const ScrubInput& i : all)
        paths.push_back(i.path);
    const std::vector<std::size_t> first = FirstOfEachFile(paths);
    for (std::size_t i = 0; i < all.size(); ++i)
        if (first[i] == i)
            in.files.push_back(std::move(all[i]));
    return in;
}

Status CheckDeliveryFolder(const std::string& outFolder, const std::vector<std::string>& sourceFolders) {
    if (outFolder.empty())
        return Error(ErrorCode::InvalidArgument, "no delivery folder given");
    if (platform::inspectTarget(outFolder).exists && !platform::isDirectory(outFolder))
        return Error(ErrorCode::NotAPlainFile, outFolder + " is not a folder");
    const fs::path out = settled(outFolder);
    for (const std::string& source : sourceFolders)
        if (within(out, settled(source)))
            return Error(ErrorCode::InvalidArgument, "the delivery folder " + outFolder + " lies in the source folder " +
                                                         source + ": the copies would join the tree they come from");
    return {};
}

namespace {

// What the run knows of one file after its check.
struct Planned {
    ScrubPlan plan;
    bool notADocument = false;
};

// The refusals a copy would meet: those of its reading, and of the edits.
Status checkCopy(const std::string& path, const MetadataEdits& edits) {
    auto real = platform::resolveLinks(path);
    if (!real)
        return real.error();
    auto stamp = ReadFileStamp(*real);
    if (!stamp)
        return stamp.error();
    const std::uint64_t movingOpens = platform::readOpensMovingAccessTime();
    auto backend = backendFor(*real);
    Status st = backend ? (*backend)->check(*real, edits) : Status(backend.error());
    if (platform::readOpensMovingAccessTime() != movingOpens)
        (void)PutBackAfterRead(*real, *stamp);
    return st;
}

// The delivery copy: the scrubbed result made beside its final name and
// renamed into place, with the source's times and attributes; the source is
// only read, and gets back the times its reading moved.
Status deliver(const std::string& path, const std::string& destination, const MetadataEdits& edits, bool overwrite) {
    auto real = platform::resolveLinks(path);
    if (!real)
        return real.error();
    auto stamp = ReadFileStamp(*real);
    if (!stamp)
        return stamp.error();
    std::error_code ec;
    fs::create_directories(fsPath(text::directoryPart(destination)), ec);
    if (ec)
        return Error(ErrorCode::IoError, "can't make the folder of " + destination + ": " + ec.message());
    auto backend = backendFor(*real);
    Status st;
    if (!backend) {
        st = backend.error();
    } else {
        platform::FinalMetadata final;
        final.times = platform::FileTimes{stamp->Creation, stamp->LastAccess, stamp->LastWrite};
        final.attributes = stamp->Attributes;
        st = (*backend)->write(*real, edits, final, WriteDestination{destination, overwrite});
    }
    (void)PutBackAfterRead(*real, *stamp);
    return st;
}

}  // namespace

ScrubReport RunScrub(const std::vector<ScrubInput>& inputs, const ScrubSettings& s, const RunCallbacks& callbacksIn,
                     const ScrubFileDone& fileDone) {
    ScrubReport report;
    const bool delivery = !s.outFolder.empty();
    std::vector<std::string> paths;
    for (const ScrubInput& i : inputs)
        paths.push_back(i.path);
    report.files.resize(inputs.size());
    std::vector<Planned> planned(inputs.size());
    std::set<std::string> destinations;  // of this run: two files never meet in one copy
    RunCallbacks callbacks = callbacksIn;
    callbacks.fileFinished = [&](std::size_t i, const FileResult& r, int percent) {
        if (callbacksIn.fileFinished)
            callbacksIn.fileFinished(i, r, percent);
        if (fileDone)
            fileDone(i, r, report.files[i]);
    };

    RunOptions options;
    options.backup = s.backup && !delivery && !s.dryRun;
    options.policy = s.backupPolicy;
    options.kind = "scrub";
    options.check = [&](std::size_t i) -> Status {
        ScrubFileResult& r = report.files[i];
        if (delivery) {
            r.destination = platform::joinPath(s.outFolder, inputs[i].relative);
            if (!destinations.insert(utf8Of(settled(r.destination))).second)
                return Error(ErrorCode::AlreadyExists,
                             "skipped: another file of this run goes to " + r.destination + " already");
            if (platform::inspectTarget(r.destination).exists && !s.overwrite)
                return Error(ErrorCode::AlreadyExists,
                             "skipped: " + r.destination + " exists already (--overwrite replaces it)");
        }
        FileView view = LoadSingleFileView(inputs[i].path);
        if (!view.found)
            return view.error;
        if (view.propertyError) {
            if (view.propertyError->code == ErrorCode::NotAnOfficeDocument && s.anyFile) {
                planned[i].notADocument = true;
                return {};
            }
            return *view.propertyError;
        }
        planned[i].plan = PlanScrub(view.metadata, s.selection);
        planned[i].plan.edits.allowUnsigning = s.allowUnsigning;
        r.removed = planned[i].plan.removed;
        r.keptReadOnly = planned[i].plan.keptReadOnly;
        const MetadataEdits& edits = planned[i].plan.edits;
        if (!edits.any() && !delivery)
            return {};
        return delivery ? checkCopy(inputs[i].path, edits) : CheckChange(inputs[i].path, edits);
    };
    options.leaveAlone = [&](std::size_t i) -> std::optional<std::string> {
        if (planned[i].notADocument)
            return std::string(kNoteNotADocument);
        if (s.dryRun)
            return std::string(kNoteDryRun);
        if (!delivery && !planned[i].plan.any())
            return std::string(kNoteNothingToRemove);
        return std::nullopt;
    };
    report.batch = RunEachFile(
        paths, options,
        [&](std::size_t i) -> Status {
            const MetadataEdits& edits = planned[i].plan.edits;
            if (delivery)
                return deliver(inputs[i].path, report.files[i].destination, edits, s.overwrite);
            return ApplyFileChange(inputs[i].path, FileChange{edits, {}, {}, {}, {}});
        },
        callbacks);
    return report;
}

}  // namespace qv::engine
