// What the host holds: views, view tags, VOBs, objects' attributes, cache
// tunables and build sessions.
#include "host.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <errno.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <unistd.h>

static std::string state_path(const char *name) { return std::string(host_state_dir()) + "/" + name; }

static std::string tree_of(const std::string &storage) { return storage + "/tree"; }

// ---- views -------------------------------------------------------------

static int write_file_atomically(const std::string &path, const std::string &text)
{
    std::string temporary = path + ".new." + std::to_string(getpid());
    FILE *file = fopen(temporary.c_str(), "we");
    if (file == nullptr)
        return host_errno_status(errno);
    bool ok = fputs(text.c_str(), file) >= 0;
    ok = fclose(file) == 0 && ok;
    if (!ok || rename(temporary.c_str(), path.c_str()) != 0) {
        int error = errno;
        unlink(temporary.c_str());
        return host_errno_status(error ? error : EIO);
    }
    return 0;
}

int host_addr_to_sockaddr(const std::string &text, void *sockaddr28)
{
    unsigned char *out = static_cast<unsigned char *>(sockaddr28);
    unsigned char addr[28] = {};
    auto put16 = [&](int at, uint16_t value) { memcpy(addr + at, &value, 2); };
    if (text == "none") {
        memcpy(out, addr, 28);
        return 0;
    }
    size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon + 1 == text.size() || colon + 6 < text.size())
        return TBS_ST_EINVAL;
    std::string host = text.substr(0, colon), port_text = text.substr(colon + 1);
    if (port_text.find_first_not_of("0123456789") != std::string::npos)
        return TBS_ST_EINVAL;
    long port = strtol(port_text.c_str(), nullptr, 10);
    if (host == "family") {   // "family:N", an address of another family
        if (port > 65535)
            return TBS_ST_EINVAL;
        put16(0, (uint16_t)port);
    } else {
        if (port > 65535)
            return TBS_ST_EINVAL;
        put16(2, htons((uint16_t)port));
        if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
            put16(0, 23);
            if (inet_pton(AF_INET6, host.substr(1, host.size() - 2).c_str(), addr + 8) != 1)
                return TBS_ST_EINVAL;
        } else {
            put16(0, 2);
            if (inet_pton(AF_INET, host.c_str(), addr + 4) != 1)
                return TBS_ST_EINVAL;
        }
    }
    memcpy(out, addr, 28);
    return 0;
}

std::string host_addr_from_sockaddr(const void *sockaddr28)
{
    const unsigned char *in = static_cast<const unsigned char *>(sockaddr28);
    uint16_t family, port;
    memcpy(&family, in, 2);
    memcpy(&port, in + 2, 2);
    char text[INET6_ADDRSTRLEN] = "";
    if (family == 2 && inet_ntop(AF_INET, in + 4, text, sizeof text))
        return std::string(text) + ":" + std::to_string(ntohs(port));
    if (family == 23 && inet_ntop(AF_INET6, in + 8, text, sizeof text))
        return "[" + std::string(text) + "]:" + std::to_string(ntohs(port));
    if (family == 0)
        return "none";
    return "family:" + std::to_string(family);
}

static int make_vob_dirs(const std::string &tree, const std::vector<HostVob> &vobs)
{
    for (const HostVob &vob : vobs)
        if (mkdir((tree + vob.tag).c_str(), 0755) != 0 && errno != EEXIST)
            return host_errno_status(errno);
    return 0;
}

int host_view_create(HostView &view)
{
    if (view.storage.empty() || view.storage[0] != '/' || !host_text_ok(view.storage) ||
        !host_text_ok(view.host) || !host_text_ok(view.host_pname))
        return TBS_ST_EINVAL;
    static const tbs_uuid_t zero{};
    if (memcmp(&view.uuid, &zero, sizeof zero) == 0)
        host_id_random(view.uuid.bytes);
    if (view.addr.empty())
        view.addr = "127.0.0.1:" + std::to_string(20000 + (view.uuid.bytes[0] << 8 | view.uuid.bytes[1]) % 20000);
    unsigned char check[28];
    if (host_addr_to_sockaddr(view.addr, check) != 0)
        return TBS_ST_EINVAL;
    int status = host_ready();
    if (status != 0)
        return status;
    if (mkdir(view.storage.c_str(), 0755) != 0)
        return host_errno_status(errno);
    char real[PATH_MAX];
    if (realpath(view.storage.c_str(), real) == nullptr)
        return host_errno_status(errno);
    view.storage = real;
    if (view.host.empty())
        view.host = host_name();
    if (view.host_pname.empty())
        view.host_pname = view.storage;
    if (mkdir(tree_of(view.storage).c_str(), 0755) != 0)
        return host_errno_status(errno);
    std::string config = "uuid\t" + host_id_text(view.uuid.bytes) + "\nhost\t" + view.host +
                         "\nhost_pname\t" + view.host_pname + "\naddr\t" + view.addr +
                         "\nautomatic\t" + (view.automatic ? "1" : "0") + "\n";
    status = write_file_atomically(view.storage + "/config", config);
    if (status != 0)
        return status;
    std::vector<HostVob> vobs;
    status = host_vob_list(vobs);
    if (status == 0)
        status = make_vob_dirs(tree_of(view.storage), vobs);
    if (status != 0)
        return status;
    return host_registry_update("views", [&](std::vector<std::string> &lines) -> int {
        lines.push_back(view.storage);
        return 0;
    });
}

int host_view_read(const std::string &storage, HostView &view)
{
    struct stat st;
    if (stat(storage.c_str(), &st) != 0)
        return host_errno_status(errno);
    if (!S_ISDIR(st.st_mode))
        return host_errno_status(ENOTDIR);
    FILE *file = fopen((storage + "/config").c_str(), "re");
    if (file == nullptr)
        return TBS_ST_VIEW_ERROR;
    view = HostView();
    view.storage = storage;
    int seen = 0;
    char line[PATH_MAX + 64];
    while (fgets(line, sizeof line, file)) {
        line[strcspn(line, "\n")] = '\0';
        std::vector<std::string> f = host_fields(line);
        if (f.size() != 2)
            continue;
        if (f[0] == "uuid" && host_id_parse(f[1].c_str(), view.uuid.bytes))
            seen |= 1;
        else if (f[0] == "host")
            view.host = f[1], seen |= 2;
        else if (f[0] == "host_pname")
            view.host_pname = f[1], seen |= 4;
        else if (f[0] == "addr")
            view.addr = f[1], seen |= 8;
        else if (f[0] == "automatic")
            view.automatic = f[1] == "1", seen |= 16;
    }
    fclose(file);
    return seen == 31 ? 0 : TBS_ST_VIEW_ERROR;
}

int host_view_list(std::vector<HostView> &views)
{
    views.clear();
    std::vector<std::string> lines;
    int status = host_registry_read("views", lines);
    for (const std::string &storage : lines) {
        HostView view;
        if (host_view_read(storage, view) == 0)
            views.push_back(view);
    }
    return status;
}

// ---- view tags ---------------------------------------------------------

static const char *root_of(int kind)
{
    return kind == HOST_AUTO_VIEW_ROOT ? host_auto_view_root_path() : host_view_root_path();
}

std::string host_tag_path(const HostTag &tag) { return std::string(root_of(tag.kind)) + "/" + tag.name; }

bool host_tag_name_ok(const std::string &name)
{
    return !name.empty() && name.size() <= 255 && name != "." && name != ".." &&
           name.find('/') == std::string::npos && name.find('\0') == std::string::npos &&
           host_text_ok(name);
}

static std::string tag_line(const HostTag &tag)
{
    return host_line({std::to_string(tag.kind), tag.name, tag.storage, host_id_text(tag.uuid.bytes),
                      tag.host, tag.host_pname, tag.addr});
}

static bool parse_tag(const std::string &line, HostTag &tag)
{
    std::vector<std::string> f = host_fields(line);
    if (f.size() != 7 || (f[0] != "0" && f[0] != "1") || !host_id_parse(f[3].c_str(), tag.uuid.bytes))
        return false;
    tag.kind = f[0][0] - '0';
    tag.name = f[1];
    tag.storage = f[2];
    tag.host = f[4];
    tag.host_pname = f[5];
    tag.addr = f[6];
    return true;
}

int host_tag_make(const HostTag &tag)
{
    unsigned char check[28];
    if (!host_tag_name_ok(tag.name) || (tag.kind != 0 && tag.kind != 1) || !host_text_ok(tag.storage) ||
        !host_text_ok(tag.host) || !host_text_ok(tag.host_pname) ||
        host_addr_to_sockaddr(tag.addr, check) != 0)
        return TBS_ST_EINVAL;
    return host_registry_update("tags", [&](std::vector<std::string> &lines) -> int {
        for (const std::string &line : lines) {
            HostTag old;
            if (parse_tag(line, old) && old.kind == tag.kind && old.name == tag.name)
                return old.storage == tag.storage ? 0 : TBS_ST_EEXIST;
        }
        std::string link = host_tag_path(tag);
        unlink(link.c_str());   // a stale link of a tag that is gone
        if (symlink(tree_of(tag.storage).c_str(), link.c_str()) != 0)
            return host_errno_status(errno);
        lines.push_back(tag_line(tag));
        return 0;
    });
}

// Removes the tags of `kind` that `which` picks; TBS_ST_VIEW_ERROR when none did.
static int remove_tags(int kind, const std::function<bool(const HostTag &)> &which)
{
    return host_registry_update("tags", [&](std::vector<std::string> &lines) -> int {
        std::vector<std::string> kept;
        bool removed = false;
        for (const std::string &line : lines) {
            HostTag tag;
            if (parse_tag(line, tag) && tag.kind == kind && which(tag)) {
                unlink(host_tag_path(tag).c_str());
                removed = true;
            } else {
                kept.push_back(line);
            }
        }
        lines.swap(kept);
        return removed ? 0 : TBS_ST_VIEW_ERROR;
    });
}

int host_tag_remove(int kind, const std::string &name)
{
    return remove_tags(kind, [&](const HostTag &tag) { return tag.name == name; });
}

int host_tag_remove_all(int kind)
{
    int status = remove_tags(kind, [](const HostTag &) { return true; });
    return status == TBS_ST_VIEW_ERROR ? 0 : status;
}

int host_tag_list(std::vector<HostTag> &tags)
{
    tags.clear();
    std::vector<std::string> lines;
    int status = host_registry_read("tags", lines);
    for (const std::string &line : lines) {
        HostTag tag;
        if (parse_tag(line, tag))
            tags.push_back(tag);
    }
    return status;
}

int host_tag_find(int kind, const std::string &name, bool exact, HostTag &tag)
{
    std::vector<HostTag> tags;
    int status = host_tag_list(tags);
    if (status != 0)
        return status;
    for (int k : {0, 1}) {
        if (kind != -1 && kind != k)
            continue;
        for (const HostTag &each : tags)
            if (each.kind == k && (exact ? each.name == name : strcasecmp(each.name.c_str(), name.c_str()) == 0)) {
                tag = each;
                return 0;
            }
    }
    return TBS_ST_VIEW_ERROR;
}

// ---- VOBs --------------------------------------------------------------

std::string host_vob_tag(const std::string &text)
{
    std::string name = !text.empty() && text[0] == '/' ? text.substr(1) : text;
    return host_tag_name_ok(name) ? "/" + name : "";
}

static std::string vob_line(const HostVob &vob)
{
    std::vector<std::string> f = {vob.tag, vob.storage, vob.host, vob.host_pname,
                                  host_id_text(vob.family_oid.bytes), host_id_text(vob.uuid.bytes),
                                  vob.mounted ? "1" : "0"};
    for (const auto &[pattern, replacement] : vob.pool_maps) {
        f.push_back(pattern);
        f.push_back(replacement);
    }
    return host_line(f);
}

static bool parse_vob(const std::string &line, HostVob &vob)
{
    std::vector<std::string> f = host_fields(line);
    if (f.size() < 7 || f.size() % 2 == 0 || !host_id_parse(f[4].c_str(), vob.family_oid.bytes) ||
        !host_id_parse(f[5].c_str(), vob.uuid.bytes))
        return false;
    vob.tag = f[0];
    vob.storage = f[1];
    vob.host = f[2];
    vob.host_pname = f[3];
    vob.mounted = f[6] == "1";
    vob.pool_maps.clear();
    for (size_t i = 7; i + 1 < f.size(); i += 2)
        vob.pool_maps.emplace_back(f[i], f[i + 1]);
    return true;
}

int host_vob_list(std::vector<HostVob> &vobs)
{
    vobs.clear();
    std::vector<std::string> lines;
    int status = host_registry_read("vobs", lines);
    for (const std::string &line : lines) {
        HostVob vob;
        if (parse_vob(line, vob))
            vobs.push_back(vob);
    }
    return status;
}

int host_vob_create(HostVob &vob)
{
    vob.tag = host_vob_tag(vob.tag);
    if (vob.tag.empty() || !host_text_ok(vob.storage) || !host_text_ok(vob.host) || !host_text_ok(vob.host_pname) ||
        (!vob.storage.empty() && vob.storage[0] != '/'))
        return TBS_ST_EINVAL;
    int status = host_ready();
    if (status != 0)
        return status;
    if (vob.storage.empty())
        vob.storage = state_path("vob-storage") + vob.tag + ".vbs";
    static const tbs_uuid_t zero{};
    if (memcmp(&vob.uuid, &zero, sizeof zero) == 0)
        host_id_random(vob.uuid.bytes);
    if (memcmp(&vob.family_oid, &zero, sizeof zero) == 0)
        host_id_random(vob.family_oid.bytes);
    if (vob.host.empty())
        vob.host = host_name();
    status = host_registry_update("vobs", [&](std::vector<std::string> &lines) -> int {
        for (const std::string &line : lines) {
            HostVob old;
            if (parse_vob(line, old) && strcasecmp(old.tag.c_str(), vob.tag.c_str()) == 0)
                return TBS_ST_EEXIST;
        }
        if (mkdir(vob.storage.c_str(), 0755) != 0)
            return host_errno_status(errno);
        char real[PATH_MAX];
        if (realpath(vob.storage.c_str(), real) != nullptr)
            vob.storage = real;
        if (vob.host_pname.empty())
            vob.host_pname = vob.storage;
        lines.push_back(vob_line(vob));
        return 0;
    });
    if (status != 0)
        return status;
    std::vector<HostView> views;
    status = host_view_list(views);
    for (const HostView &view : views)
        if (status == 0)
            status = make_vob_dirs(tree_of(view.storage), {vob});
    return status;
}

// Applies `change` to the VOB with `tag` (every VOB when it is empty).
static int change_vobs(const std::string &tag, const std::function<void(HostVob &)> &change)
{
    return host_registry_update("vobs", [&](std::vector<std::string> &lines) -> int {
        bool found = false;
        for (std::string &line : lines) {
            HostVob vob;
            if (parse_vob(line, vob) && (tag.empty() || vob.tag == tag)) {
                change(vob);
                line = vob_line(vob);
                found = true;
            }
        }
        return found || tag.empty() ? 0 : TBS_ST_UNK_VOB;
    });
}

int host_vob_add_pool_map(const std::string &tag, const std::string &pattern, const std::string &replacement)
{
    std::string name = host_vob_tag(tag);
    if (name.empty() || pattern.empty() || !host_text_ok(pattern) || !host_text_ok(replacement))
        return TBS_ST_EINVAL;
    return change_vobs(name, [&](HostVob &vob) { vob.pool_maps.emplace_back(pattern, replacement); });
}

int host_vob_set_mounted(const std::string &tag, bool mounted)
{
    std::string name = tag.empty() ? "" : host_vob_tag(tag);
    if (!tag.empty() && name.empty())
        return TBS_ST_EINVAL;
    return change_vobs(name, [&](HostVob &vob) { vob.mounted = mounted; });
}

// ---- objects -----------------------------------------------------------

// The entry of `dir` called `name`, in any case when that is allowed.
static std::string entry_name(const std::string &dir, const std::string &name, bool exact)
{
    struct stat st;
    if (exact || lstat((dir + "/" + name).c_str(), &st) == 0)
        return name;
    DIR *d = opendir(dir.c_str());
    if (d == nullptr)
        return name;
    std::string found = name;
    while (struct dirent *entry = readdir(d))
        if (strcasecmp(entry->d_name, name.c_str()) == 0) {
            found = entry->d_name;
            break;
        }
    closedir(d);
    return found;
}

int host_object_view(const char *objpn, uint32_t lookup_flags, HostObject &object)
{
    object = HostObject();
    if (objpn == nullptr)
        return TBS_ST_EINVAL;
    bool exact = (lookup_flags & 0x2) != 0;
    std::string path = objpn;
    if (path.size() > 2 && path.compare(path.size() - 2, 2, "@@") == 0) {
        object.extended = true;
        path.resize(path.size() - 2);
    }
    int kind = -1;
    std::string rest;
    for (int k : {0, 1}) {
        std::string root = std::string(root_of(k)) + "/";
        if (path.compare(0, root.size(), root) == 0) {
            kind = k;
            rest = path.substr(root.size());
        }
    }
    if (kind < 0 || rest.empty())
        return TBS_ST_WRONG_VIEW;
    size_t slash = rest.find('/');
    std::string tag = rest.substr(0, slash);
    rest = slash == std::string::npos ? "" : rest.substr(slash + 1);
    int status = host_tag_find(kind, tag, exact, object.view);
    if (status != 0)
        return status;

    // Walk the rest of the path in the view's tree.
    std::string file = tree_of(object.view.storage);
    bool first = true;
    while (!rest.empty()) {
        slash = rest.find('/');
        std::string name = entry_name(file, rest.substr(0, slash), exact);
        rest = slash == std::string::npos ? "" : rest.substr(slash + 1);
        if (name.empty())
            continue;
        file += "/" + name;
        if (first) {
            std::vector<HostVob> vobs;
            host_vob_list(vobs);
            for (const HostVob &vob : vobs)
                if (exact ? vob.tag == "/" + name : strcasecmp(vob.tag.c_str() + 1, name.c_str()) == 0) {
                    object.in_vob = true;
                    object.vob = vob;
                }
            if (object.in_vob && !object.vob.mounted)
                return TBS_ST_UNK_VOB;
            first = false;
        }
    }
    object.file = file;
    return 0;
}

int host_object_lookup(const char *objpn, uint32_t lookup_flags, HostObject &object)
{
    int status = host_object_view(objpn, lookup_flags, object);
    if (status != 0)
        return status;
    int result = lookup_flags & 0x1 ? lstat(object.file.c_str(), &object.st) : stat(object.file.c_str(), &object.st);
    return result == 0 ? 0 : host_errno_status(errno);
}

extern "C" int host_object_pathname(const char *absolute, char *buffer, size_t size)
{
    if (buffer == nullptr || size == 0)
        return EINVAL;
    buffer[0] = '\0';
    if (absolute == nullptr || absolute[0] != '/')
        return EINVAL;
    std::string path = absolute;
    std::vector<HostTag> tags;
    host_tag_list(tags);
    for (int kind : {0, 1})
        for (const HostTag &tag : tags) {
            std::string tree = tree_of(tag.storage);
            if (tag.kind == kind && path.compare(0, tree.size(), tree) == 0 &&
                (path.size() == tree.size() || path[tree.size()] == '/')) {
                path = host_tag_path(tag) + path.substr(tree.size());
                goto done;
            }
        }
done:
    if (path.size() >= size)
        return ENAMETOOLONG;
    memcpy(buffer, path.c_str(), path.size() + 1);
    return 0;
}

// ---- attributes, tunables, build sessions ------------------------------

static std::string identity(const struct stat &st)
{
    return std::to_string((unsigned long long)st.st_dev) + ":" + std::to_string((unsigned long long)st.st_ino);
}

int host_xattr_get(const struct stat &st, uint32_t type, uint32_t &value)
{
    std::vector<std::string> lines;
    int status = host_registry_read("xattrs", lines);
    if (status != 0)
        return status;
    std::string key = identity(st), kind = std::to_string(type);
    for (const std::string &line : lines) {
        std::vector<std::string> f = host_fields(line);
        if (f.size() == 3 && f[0] == key && f[1] == kind) {
            value = (uint32_t)strtoul(f[2].c_str(), nullptr, 10);
            return 0;
        }
    }
    return TBS_ST_NOT_FOUND;
}

int host_xattr_set(const struct stat &st, uint32_t type, uint32_t value)
{
    std::string key = identity(st), kind = std::to_string(type);
    std::string entry = host_line({key, kind, std::to_string(value)});
    return host_registry_update("xattrs", [&](std::vector<std::string> &lines) -> int {
        for (std::string &line : lines) {
            std::vector<std::string> f = host_fields(line);
            if (f.size() == 3 && f[0] == key && f[1] == kind) {
                line = entry;
                return 0;
            }
        }
        lines.push_back(entry);
        return 0;
    });
}

int host_tunable_get(const std::string &name, int32_t &value)
{
    std::vector<std::string> lines;
    int status = host_registry_read("tunables", lines);
    if (status != 0)
        return status;
    for (const std::string &line : lines) {
        std::vector<std::string> f = host_fields(line);
        if (f.size() == 2 && f[0] == name) {
            value = (int32_t)strtol(f[1].c_str(), nullptr, 10);
            return 0;
        }
    }
    return TBS_ST_NOT_FOUND;
}

int host_tunable_set(const std::string &name, int32_t value)
{
    if (name.empty() || !host_text_ok(name))
        return TBS_ST_EINVAL;
    std::string entry = host_line({name, std::to_string(value)});
    return host_registry_update("tunables", [&](std::vector<std::string> &lines) -> int {
        for (std::string &line : lines)
            if (host_fields(line)[0] == name) {
                line = entry;
                return 0;
            }
        lines.push_back(entry);
        return 0;
    });
}

// The sessions registry: "next\tN", then one "number\tview tag" line per open session.
int host_session_open(const std::string &view_tag, uint32_t &number)
{
    if (!host_text_ok(view_tag))
        return TBS_ST_EINVAL;
    return host_registry_update("sessions", [&](std::vector<std::string> &lines) -> int {
        if (lines.empty() || host_fields(lines[0])[0] != "next")
            lines.insert(lines.begin(), "next\t1");
        number = (uint32_t)strtoul(host_fields(lines[0]).back().c_str(), nullptr, 10);
        lines[0] = "next\t" + std::to_string(number + 1);
        lines.push_back(host_line({std::to_string(number), view_tag}));
        return 0;
    });
}

int host_session_free(uint32_t number)
{
    std::string key = std::to_string(number);
    return host_registry_update("sessions", [&](std::vector<std::string> &lines) -> int {
        for (size_t i = 1; i < lines.size(); i++)
            if (host_fields(lines[i])[0] == key) {
                lines.erase(lines.begin() + i);
                return 0;
            }
        return (int)TBS_ST_NOT_FOUND;
    });
}

bool host_session_is_open(uint32_t number)
{
    std::vector<std::string> lines;
    host_registry_read("sessions", lines);
    for (size_t i = 1; i < lines.size(); i++)
        if (host_fields(lines[i])[0] == std::to_string(number))
            return true;
    return false;
}
