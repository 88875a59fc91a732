// The host state directory, its registries, identifiers, faults and the
// per-process state.
#include "host.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/random.h>
#include <time.h>
#include <unistd.h>

static std::string env_or(const char *name, const char *fallback)
{
    const char *value = getenv(name);
    return value && *value ? value : fallback;
}

static bool explicit_state_dir() { return !env_or("KELN_HOST", "").empty(); }

extern "C" const char *host_state_dir(void)
{
    static std::string dir;
    dir = env_or("KELN_HOST", "");
    if (dir.empty())
        dir = env_or("TMPDIR", "/tmp") + "/kelnhost-" + std::to_string(getuid());
    return dir.c_str();
}

extern "C" const char *host_view_root_path(void)
{
    static std::string path;
    host_ready();
    path = std::string(host_state_dir()) + "/viewroot";
    return path.c_str();
}

extern "C" const char *host_auto_view_root_path(void)
{
    static std::string path;
    host_ready();
    path = std::string(host_state_dir()) + "/autoviewroot";
    return path.c_str();
}

// 0 when the state directory exists and may be trusted (made when `create`),
// ENOENT when it does not exist yet, else an errno value.
static int check_state_dir(bool create)
{
    std::string dir = host_state_dir();
    if (create && mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST)
        return errno;
    struct stat st;
    if (explicit_state_dir()) {
        if (stat(dir.c_str(), &st) != 0)
            return errno;
        return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
    }
    // The default lives in a shared directory: only a private directory of ours will do.
    if (lstat(dir.c_str(), &st) != 0)
        return errno;
    if (!S_ISDIR(st.st_mode) || st.st_uid != getuid() || (st.st_mode & 077) != 0)
        return EACCES;
    return 0;
}

int host_ready()
{
    int error = check_state_dir(true);
    if (error != 0)
        return host_errno_status(error);
    std::string dir = host_state_dir();
    for (const char *sub : {"/viewroot", "/autoviewroot", "/view-storage", "/vob-storage"})
        if (mkdir((dir + sub).c_str(), 0755) != 0 && errno != EEXIST)
            return host_errno_status(errno);
    return 0;
}

int host_errno_status(int error)
{
    switch (error) {
    case 0:
        return 0;
    case ELOOP:
        return 1083;
    case ENAMETOOLONG:
        return TBS_ST_ENAMETOOLONG;
    case ENOTEMPTY:
        return 1085;
    case EDQUOT:
        return 1086;
    case ESTALE:
        return 1087;
    default:
        // The services number the classic errors from 1050 on, as errno does from 0.
        return error > 0 && error <= ERANGE ? 1050 + error : TBS_ST_ERROR;
    }
}

static int read_lines(const std::string &path, std::vector<std::string> &lines)
{
    lines.clear();
    FILE *file = fopen(path.c_str(), "re");
    if (file == nullptr)
        return errno == ENOENT ? 0 : host_errno_status(errno);
    std::string text;
    char chunk[4096];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, file)) > 0)
        text.append(chunk, n);
    fclose(file);
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        lines.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return 0;
}

int host_registry_read(const std::string &name, std::vector<std::string> &lines)
{
    lines.clear();
    int error = check_state_dir(false);
    if (error == ENOENT)
        return 0;
    if (error != 0)
        return host_errno_status(error);
    return read_lines(std::string(host_state_dir()) + "/" + name, lines);
}

static int write_lines(const std::string &path, const std::vector<std::string> &lines)
{
    std::string temporary = path + ".new." + std::to_string(getpid());
    int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return host_errno_status(errno);
    std::string text;
    for (const std::string &line : lines)
        text += line + "\n";
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0) {
            int error = errno;
            close(fd);
            unlink(temporary.c_str());
            return host_errno_status(error);
        }
        done += n;
    }
    if (close(fd) != 0 || rename(temporary.c_str(), path.c_str()) != 0) {
        int error = errno;
        unlink(temporary.c_str());
        return host_errno_status(error);
    }
    return 0;
}

int host_registry_update(const std::string &name,
                         const std::function<int(std::vector<std::string> &lines)> &change)
{
    int status = host_ready();
    if (status != 0)
        return status;
    std::string path = std::string(host_state_dir()) + "/" + name;
    int lock = open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lock < 0)
        return host_errno_status(errno);
    while (flock(lock, LOCK_EX) != 0) {
        if (errno != EINTR) {
            int error = errno;
            close(lock);
            return host_errno_status(error);
        }
    }
    std::vector<std::string> lines;
    status = read_lines(path, lines);
    if (status == 0)
        status = change(lines);
    if (status == 0)
        status = write_lines(path, lines);
    close(lock);   // releases the lock
    return status;
}

std::vector<std::string> host_fields(const std::string &line)
{
    std::vector<std::string> fields;
    size_t at = 0;
    for (;;) {
        size_t end = line.find('\t', at);
        fields.push_back(line.substr(at, end == std::string::npos ? std::string::npos : end - at));
        if (end == std::string::npos)
            return fields;
        at = end + 1;
    }
}

std::string host_line(const std::vector<std::string> &fields)
{
    std::string line;
    for (size_t i = 0; i < fields.size(); i++)
        line += (i ? "\t" : "") + fields[i];
    return line;
}

bool host_text_ok(const std::string &text)
{
    return text.find_first_of("\t\n\r") == std::string::npos;
}

std::string host_id_text(const unsigned char id[16])
{
    char text[TBS_ID_TEXT_SIZE];
    int used = 0;
    for (int i = 0; i < 16; i++) {
        if (i == 4 || i == 6 || i == 8 || i == 10)
            text[used++] = '-';
        used += snprintf(text + used, sizeof text - used, "%02x", id[i]);
    }
    return std::string(text, used);
}

static int hex_value(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool host_id_parse(const char *text, unsigned char id[16])
{
    if (text == nullptr || strlen(text) != 36)
        return false;
    unsigned char parsed[16];
    int at = 0;
    for (int i = 0; i < 16; i++) {
        if (i == 4 || i == 6 || i == 8 || i == 10) {
            if (text[at++] != '-')
                return false;
        }
        int high = hex_value(text[at]), low = hex_value(text[at + 1]);
        if (high < 0 || low < 0)
            return false;
        parsed[i] = (unsigned char)(high << 4 | low);
        at += 2;
    }
    memcpy(id, parsed, 16);
    return true;
}

void host_id_random(unsigned char id[16])
{
    if (getrandom(id, 16, 0) != 16) {
        // No entropy source: time and process make it unique enough here.
        struct timespec now;
        clock_gettime(CLOCK_REALTIME, &now);
        host_id_derive(id, std::to_string(now.tv_sec) + "." + std::to_string(now.tv_nsec) + "." +
                               std::to_string(getpid()));
    }
}

// Two 64-bit FNV-1a hashes of the seed, with different offsets.
void host_id_derive(unsigned char id[16], const std::string &seed)
{
    uint64_t halves[2] = {14695981039346656037ULL, 1099511628211ULL * 31 + 7};
    for (uint64_t &hash : halves)
        for (unsigned char c : seed) {
            hash ^= c;
            hash *= 1099511628211ULL;
        }
    for (int i = 0; i < 16; i++)
        id[i] = (unsigned char)(halves[i / 8] >> (8 * (i % 8)));
}

std::string host_name()
{
    char name[256] = "";
    if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0')
        return "localhost";
    return name;
}

std::string host_process_get(const char *name) { return env_or(name, ""); }

void host_process_set(const char *name, const std::string &value)
{
    if (value.empty())
        unsetenv(name);
    else
        setenv(name, value.c_str(), 1);
}

bool host_fault(const char *name)
{
    static const char *const known[] = {"trash-vstat", "write-zero-capacity", "short-capacity-ok",
                                        "store-other", "call-fail"};
    static bool warned = false;
    std::string list = "," + env_or("KELN_HOST_FAULTS", "") + ",";
    bool wanted = list.find("," + std::string(name) + ",") != std::string::npos;
    for (size_t at = 1; !warned && at < list.size();) {
        size_t end = list.find(',', at);
        std::string item = list.substr(at, end - at);
        bool ok = item.empty();
        for (const char *each : known)
            ok = ok || item == each;
        if (!ok) {
            fprintf(stderr, "kelnhost: unknown fault '%s' in KELN_HOST_FAULTS ignored\n", item.c_str());
            warned = true;
        }
        at = end + 1;
    }
    return wanted;
}
