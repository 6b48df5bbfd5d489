// The main window's anomaly walks: each record of one service is shown in the
// anomaly window, and the user's answer decides whether a single-movie worker
// starts with a chosen code, whether the record goes, and whether the walk
// goes on.
#include "UnitSynch.h"

#include "DDKError.h"
#include "DDKFiles.h"
#include "DDKFindFile.h"
#include "DDKStrings.h"
#include "DDKSystem.h"
#include "ModalForm.h"
#include "Prompts.h"
#include "UnitAnomaly.h"
#include "UnitConfig.h"
#include "UnitMetadata.h"
#include "UnitThread.h"

#include <QCheckBox>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string_view>
#include <sys/stat.h>

namespace {

// Whether Path is absolute and each of its steps a name: no empty step, "."
// or "..", which could lead out of the folder it seems to lie in.
bool IsPlainAbsolutePath(std::string_view Path)
{
    if (Path.size() < 2 || Path.front() != '/')
        return false;
    for (std::size_t Start = 1; Start <= Path.size();) {
        const std::size_t End = std::min(Path.find('/', Start), Path.size());
        const std::string_view Step = Path.substr(Start, End - Start);
        if (Step.empty() || Step == "." || Step == "..")
            return false;
        Start = End + 1;
    }
    return true;
}

bool IsLibraryFolder(std::string_view Folder)
{
    return IsPlainAbsolutePath(Folder) && DDKSameText(DDKExtractFileName(Folder), "@Vantry");
}

// A record is a file anybody may have written: the walk makes folders and
// renames files only where a synchronisation would. An AlloCine record's
// movie file is a movie file by the synchronisation's masks and lies in the
// movie folder, that is beside its library folder or below, the library
// included; a TMDb record's movie folder lies directly in a library folder.
// Either library is a real folder, as the synchronisation wants the folders it
// writes: one that is a link would have the worker write wherever it leads.
// The folders above it may be links (a movie folder on another disc).
void CheckRecordPlaces(TSource Source, const TFormAnomaly& Form)
{
    const char* const Nothing = " : rien n'est créé ni renommé";
    std::string Library;
    if (Source == SourceTmdb) {
        Library = DDKExcludeTrailingPathDelimiter(DDKExtractFilePath(Form.MovieDir));
        if (!IsPlainAbsolutePath(Form.MovieDir) || !IsLibraryFolder(Library))
            throw EDDKError(DDKFormat("Le dossier \"%s\" de l'anomalie n'est pas un dossier de film d'une "
                                      "bibliothèque \"@Vantry\"%s",
                                      Form.MovieDir.c_str(), Nothing));
    } else {
        Library = Form.McDir;
        if (!IsLibraryFolder(Library))
            throw EDDKError(
                DDKFormat("Le dossier \"%s\" de l'anomalie n'est pas une bibliothèque \"@Vantry\"%s",
                          Library.c_str(), Nothing));
        if (!IsPlainAbsolutePath(Form.FileName) || !Form.FileName.starts_with(DDKExtractFilePath(Library)))
            throw EDDKError(
                DDKFormat("Le fichier \"%s\" de l'anomalie n'est pas dans le dossier des films de "
                          "la bibliothèque \"%s\"%s",
                          Form.FileName.c_str(), Library.c_str(), Nothing));
        if (!TSynchThread::IsMovieFileName(DDKExtractFileName(Form.FileName)))
            throw EDDKError(DDKFormat("Le fichier \"%s\" de l'anomalie n'est pas un fichier de film (*.avi, "
                                      "*.mkv)%s",
                                      Form.FileName.c_str(), Nothing));
    }
    // One not made yet is made by the walk, as a real folder.
    struct stat Status = {};
    if (::lstat(Library.c_str(), &Status) == 0 && !S_ISDIR(Status.st_mode))
        throw EDDKError(
            DDKFormat("Le dossier \"%s\" de la bibliothèque est un lien ou n'est pas un dossier%s",
                      Library.c_str(), Nothing));
}

} // namespace

std::int32_t TFormSynch::ReadAnomaly(TSource Source, TDDKStringList* List)
{
    return DDKTagged("[TFormSynch.ReadAnomaly] ", [&] {
        TDDKFindFile Finder;
        Finder.Path = Config.AnomalyDir;
        Finder.Masks = Source == SourceAllocine ? "allocine-*.*" : "tmdb-*.*";
        Finder.Execute();
        if (List)
            *List = Finder.Files;
        return Finder.Files.Count();
    });
}

void TFormSynch::BtAnoAllocineClick()
{
    WalkAnomalies(SourceAllocine);
}

void TFormSynch::BtAnoTmdbClick()
{
    WalkAnomalies(SourceTmdb);
}

void TFormSynch::WalkAnomalies(TSource Source)
{
    // Read once: records written while the walk runs wait for the next one.
    TDDKStringList Records;
    ReadAnomaly(Source, &Records);

    for (int Index = 0; Index < Records.Count(); ++Index) {
        const std::string& Record = Records[Index];
        // A choice being carried out is not asked for again.
        if (std::any_of(FRecordsInWork.begin(), FRecordsInWork.end(),
                        [&](const auto& InWork) { return InWork.second == Record; }))
            continue;
        std::int32_t Code = 0;
        // An error of the window itself leaves the walk.
        const int Result = FormAnomaly->Execute(Record, Source);
        if (Result == mrCancel)
            break;
        const std::string Subject = Source == SourceAllocine ? FormAnomaly->FileName : FormAnomaly->Title;
        try {
            if (Result == mrOk) {
                Code = FormAnomaly->SelectedCode;
            } else if (Result == mrNo) {
                const std::string Caption = Source == SourceAllocine
                                                ? DDKExtractFileName(FormAnomaly->FileName)
                                                : DDKFormat("%s (%s)", FormAnomaly->Title.c_str(),
                                                            FormAnomaly->OriginalTitle.c_str());
                const char* Prompt =
                    Source == SourceAllocine ? "Quel code pour ce fichier ?" : "Quel code pour ce titre ?";
                if (const auto Answer = FPrompts.InputBox(Caption, Prompt, ""))
                    Code = DDKStrToIntDef(*Answer, 0);
            }

            if (Code > 0) {
                CheckRecordPlaces(Source, *FormAnomaly);
                auto Movie = std::make_unique<TMovieInfo>();
                if (Source == SourceAllocine) {
                    Movie->SetFileName(FormAnomaly->FileName);
                    std::filesystem::create_directories(FormAnomaly->McDir);
                    StartThread(ModeAnomalyAllocine, Code, std::move(Movie), FormAnomaly->McDir, Record);
                } else {
                    const std::string& MovieDir = FormAnomaly->MovieDir;
                    FMetadata->ReadFicheAcFile(DDKGetRealFileName(MovieDir, "allocine.*"), *Movie);
                    Movie->MovieDir = MovieDir;
                    StartThread(ModeAnomalyTmdb, Code, std::move(Movie),
                                DDKExcludeTrailingPathDelimiter(DDKExtractFilePath(MovieDir)), Record);
                }
                // The record goes once the worker has finished the movie: a
                // kill or a failure before that keeps the user's choice to make again.
                continue;
            }

            DeleteRecord(Record);
        } catch (...) {
            ThreadLog(
                DDKFormat("\"%s\" /ERROR #%d > %s", Subject.c_str(), Code, DDKCurrentErrorMessage().c_str()));
        }
    }
    UpdateAnomalyButtons();
}

void TFormSynch::StartThread(TMode Mode, std::int32_t Code, std::unique_ptr<TMovieInfo> Movie,
                             const std::string& Folder, const std::string& Record)
{
    std::lock_guard<std::recursive_mutex> Guard(FLock);
    DDKTagged("[TFormSynch.StartThread] ", [&] {
        // Discarded, with the record, unless it starts.
        auto Worker = std::make_unique<TSynchThread>(FDispatcher);
        Worker->OnTerminate = [this](TWorkerThread* Sender) { AnomalyThreadTerminate(Sender); };
        Worker->OnLog = [this](const std::string& Line) { WorkerLog(Line); };
        Worker->Mode = Mode;
        Worker->Code = Code;
        Worker->Movie = std::move(Movie);
        Worker->SetFolder(Folder);
        Worker->RenameFiles = CbRenameFiles->isChecked();
        ApplyWaits(*Worker);
        if (FThreadCount == 0)
            FLogFailureShown = false;
        TSynchThread* const Started = Worker.release();
        Started->Start();
        // Its termination callback runs on this thread, after this.
        if (!Record.empty())
            FRecordsInWork[Started] = Record;
        SetButtons(false, false);
        ++FThreadCount;
    });
}

void TFormSynch::AnomalyThreadTerminate(TWorkerThread* Sender)
{
    std::lock_guard<std::recursive_mutex> Guard(FLock);
    // Counted out first: whatever the record's end meets below, the window
    // must come back to idle and be able to close.
    --FThreadCount;
    // The worker has logged its own failure; its record then stays.
    if (const auto InWork = FRecordsInWork.find(Sender); InWork != FRecordsInWork.end()) {
        const std::string Record = std::move(InWork->second);
        FRecordsInWork.erase(InWork);
        const auto& Worker = static_cast<const TSynchThread&>(*Sender);
        if (Worker.Finished()) {
            try {
                DeleteRecord(Record);
            } catch (...) {
                const std::string Line = DDKFormat("\"%s\" /ERROR #%d > %s", Record.c_str(), Worker.Code,
                                                   DDKCurrentErrorMessage().c_str());
                try {
                    ThreadLog(Line);
                } catch (...) {
                    // A disc gone read-only: the record stays, and the user
                    // learns it from the box, since the log cannot tell.
                    ReportLogFailure(DDKCurrentErrorMessage() + "\r\n" + Line);
                }
            }
        }
    }
    // Before the buttons count the records again.
    if (FThreadCount == 0)
        SetButtons(true, false);
}

void TFormSynch::DeleteRecord(const std::string& Record)
{
    if (std::remove(Record.c_str()) != 0)
        throw EDDKError(DDKSysErrorMessage(errno));
}
