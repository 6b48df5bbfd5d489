#include "UnitConfig.h"

#include "DDKConversion.h"
#include "DDKFiles.h"
#include "DDKRegExpr.h"
#include "DDKStrings.h"
#include "DDKSystem.h"
#include "HttpObject.h"
#include "ServiceSettings.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>
#include <system_error>

TConfig Config;

TConfig::TConfig() : ImageBaseUrl(DDKFormat("http://%s/t/p/", TmdbImageHost)) {}

TConfig::TConfig(const std::string& ExeName) : TConfig(ExeName, DDKExtractFilePath(ExeName)) {}

TConfig::TConfig(const std::string& ExeName, const std::string& DataDir) : TConfig()
{
    AppPath = DDKExtractFilePath(ExeName);
    const std::string DataPath = DDKIncludeTrailingPathDelimiter(DataDir);
    IniFileName = DataPath + "Vantry.ini";
    AnomalyDir = DataPath + "Anomaly";
    CacheDir = DataPath + "Cache";
    LogFile = DataPath + DDKChangeFileExt(DDKExtractFileName(ExeName), ".log");

    // The writers of anomaly records and thumbnails report a missing folder
    // themselves, with the file they could not write.
    std::error_code Ignored;
    std::filesystem::create_directories(AnomalyDir, Ignored);
    std::filesystem::create_directories(CacheDir, Ignored);

    Version =
        DDKSubExpr(DDKGetFileVersion(ExeName), "(\\d+\\.\\d+\\.\\d+)\\.\\d+", 1, true, true, false, true, "");
}

std::string TConfig::UserDataDir()
{
    // Like the configuration folder, a relative setting is not a usable one.
    const char* DataHome = std::getenv("XDG_DATA_HOME");
    if (DataHome && DataHome[0] == '/')
        return DDKIncludeTrailingPathDelimiter(DataHome) + "vantry";
    const char* Home = std::getenv("HOME");
    if (Home && Home[0] == '/')
        return DDKIncludeTrailingPathDelimiter(Home) + ".local/share/vantry";
    return {};
}

std::string TConfig::RunningExecutable()
{
    std::error_code Error;
    auto Path = std::filesystem::read_symlink("/proc/self/exe", Error);
    return Error ? std::string() : Path.string();
}

namespace {

// CallHttp of the global client, given up as failed once Deadline has passed,
// whatever the server does: the window waits on it. The stop request bounds
// the retries and their pauses; the client's own time limits, which also
// hold while a name is looked up, bound each try.
bool StartUpQuery(const std::string& Url, std::string& Answer, std::chrono::milliseconds Deadline)
{
    struct TRestore
    {
        std::function<bool()> Aborted = HttpObject.Aborted;
        std::chrono::milliseconds ConnectTimeout = HttpObject.ConnectTimeout;
        std::chrono::milliseconds AnswerDeadline = HttpObject.AnswerDeadline;
        ~TRestore()
        {
            HttpObject.Aborted = std::move(Aborted);
            HttpObject.ConnectTimeout = ConnectTimeout;
            HttpObject.AnswerDeadline = AnswerDeadline;
        }
    } Restore;
    const auto End = std::chrono::steady_clock::now() + Deadline;
    HttpObject.Aborted = [End] { return std::chrono::steady_clock::now() >= End; };
    HttpObject.ConnectTimeout = std::min(HttpObject.ConnectTimeout, Deadline);
    HttpObject.AnswerDeadline = std::min(HttpObject.AnswerDeadline, Deadline);
    return HttpObject.CallHttp(Url, Answer);
}

} // namespace

// Start-up must go on whatever the web does: a failed query only means no
// update offer.
std::string TConfig::CheckUpdate() const
{
    try {
        std::string Answer;
        if (StartUpQuery(DDKFormat("http://%s/version.php?sw=vantry&req=check", VersionHost), Answer,
                         StartUpQueryDeadline) &&
            Answer != Version)
            return DDKFormat("http://%s/version.php?sw=vantry&req=dl&ver=", VersionHost) + Answer;
    } catch (...) {
    }
    return {};
}

void TConfig::LoadTmdbConfiguration()
{
    try {
        std::string Answer;
        StartUpQuery(DDKFormat("http://%s/3/configuration?api_key=%s", TmdbApiHost, TmdbApiKey), Answer,
                     StartUpQueryDeadline);
        // A missing or non-text "base_url" raises here and keeps the default:
        // an empty base address would break every picture address.
        ImageBaseUrl = nlohmann::json::parse(Answer).at("images").at("base_url").get<std::string>();
    } catch (...) {
    }
}

std::string TConfig::GetImageUrl(const std::string& Size, const std::string& Path) const
{
    return ImageBaseUrl + Size + Path;
}
