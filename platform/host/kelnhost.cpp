// kelnhost: sets up and shows the host that the stand-in libraries simulate.
#include <errno.h>
#include <limits.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "adm.h"
#include "host.h"

static const char USAGE[] =
    "Usage: kelnhost COMMAND [OPTIONS] [OPERANDS]\n"
    "\n"
    "Sets up and shows the host that the stand-in libraries simulate: its views,\n"
    "view tags, VOBs and cache defaults. The host state is the directory named by\n"
    "KELN_HOST (default ${TMPDIR:-/tmp}/kelnhost-UID, made 0700 on first use).\n"
    "\n"
    "Commands:\n"
    "  mkview [--auto] [--storage DIR] [--host NAME] [--addr ADDRESS] TAG\n"
    "      create a view and tag it TAG under the view root; with --auto an\n"
    "      automatic view, tagged under the automatic-view root. Storage: DIR,\n"
    "      default STATE/view-storage/TAG.vws; it must not exist yet.\n"
    "  mkvob [--storage DIR] [--host NAME] VOB...\n"
    "      create and mount one VOB per VOB tag (\"name\" or \"/name\"); it appears\n"
    "      as TAGDIR/name in every view. Storage: DIR (one VOB only), default\n"
    "      STATE/vob-storage/name.vbs.\n"
    "  mktag [--auto] TAG STORAGE    tag the view whose storage directory is STORAGE\n"
    "  rmtag [--auto] TAG            remove a view tag\n"
    "  poolmap VOB PATTERN REPLACEMENT\n"
    "                                add a pool map to a VOB\n"
    "  mount VOB, umount VOB         mount or unmount a VOB\n"
    "  lsview                        list views: tag, root (view or auto), UUID,\n"
    "                                server address, storage; \"-\" for no tag\n"
    "  lsvob                         list VOBs: tag, mounted or unmounted, UUID,\n"
    "                                family OID, storage, then each pool map\n"
    "  tunable NAME VALUE            override a cache default on this host\n"
    "                                (NAME as getcache prints it: MNODEMAX, attrcache...)\n"
    "  root [--auto]                 print the view root (or automatic-view root) directory\n"
    "  help                          print this text\n"
    "\n"
    "ADDRESS is A.B.C.D:PORT, [IPV6]:PORT, family:N (an address of another family)\n"
    "or none; the default is 127.0.0.1 and a port derived from the view's UUID.\n"
    "\n"
    "Exit status: 0 when done, 1 when the host refused (the tag exists, no such\n"
    "VOB, the state directory cannot be used), 2 for bad usage.\n";

[[noreturn]] __attribute__((format(printf, 1, 2))) static void usage_error(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    fprintf(stderr, "kelnhost: ");
    vfprintf(stderr, format, args);
    fprintf(stderr, "\nTry 'kelnhost help'.\n");
    va_end(args);
    exit(2);
}

static std::string status_text(int status)
{
    switch (status) {
    case TBS_ST_NOT_FOUND:
        return "not found";
    case TBS_ST_VIEW_ERROR:
        return "no such view";
    case TBS_ST_UNK_VOB:
        return "no such VOB";
    case TBS_ST_EEXIST:
        return "exists already";
    case TBS_ST_EINVAL:
        return "invalid argument";
    }
    if (status > 1050 && status <= 1050 + ERANGE)
        return strerror(status - 1050);
    return "status " + std::to_string(status);
}

[[noreturn]] static void refused(const std::string &what, int status)
{
    fprintf(stderr, "kelnhost: %s: %s\n", what.c_str(), status_text(status).c_str());
    exit(1);
}

struct Words {
    bool automatic = false;
    std::string storage, host, addr;
    std::vector<std::string> operands;
};

// Options first (those `allowed` names), then operands; "--" ends the options.
static Words parse(const char *command, int argc, char **argv, const std::vector<std::string> &allowed)
{
    Words words;
    int i = 0;
    for (; i < argc && argv[i][0] == '-' && argv[i][1] != '\0'; i++) {
        std::string option = argv[i];
        if (option == "--") {
            i++;
            break;
        }
        bool ok = false;
        for (const std::string &each : allowed)
            ok = ok || each == option;
        if (!ok)
            usage_error("%s: unknown option '%s'", command, option.c_str());
        if (option == "--auto") {
            words.automatic = true;
            continue;
        }
        if (i + 1 >= argc)
            usage_error("%s: %s needs a value", command, option.c_str());
        std::string value = argv[++i];
        (option == "--storage" ? words.storage : option == "--host" ? words.host : words.addr) = value;
    }
    for (; i < argc; i++)
        words.operands.push_back(argv[i]);
    return words;
}

static void expect_operands(const char *command, const Words &words, size_t count)
{
    if (words.operands.size() != count)
        usage_error("%s: wrong number of operands", command);
}

static std::string absolute(const std::string &path)
{
    if (path.empty() || path[0] == '/')
        return path;
    char cwd[PATH_MAX];
    return getcwd(cwd, sizeof cwd) ? std::string(cwd) + "/" + path : path;
}

static void check_text(const char *command, const std::string &text)
{
    if (!host_text_ok(text))
        usage_error("%s: a value holds a tab or a line end", command);
}

static int ready()
{
    int status = host_ready();
    if (status != 0)
        refused(std::string("host state ") + host_state_dir(), status);
    return 0;
}

// Tags `view` with the name and kind already in `tag`.
static void make_tag(HostTag &tag, const HostView &view)
{
    tag.storage = view.storage;
    tag.uuid = view.uuid;
    tag.host = view.host;
    tag.host_pname = view.host_pname;
    tag.addr = view.addr;
    int status = host_tag_make(tag);
    if (status != 0)
        refused("view tag " + tag.name, status);
}

static int mkview(int argc, char **argv)
{
    Words words = parse("mkview", argc, argv, {"--auto", "--storage", "--host", "--addr"});
    expect_operands("mkview", words, 1);
    const std::string &name = words.operands[0];
    if (!host_tag_name_ok(name))
        usage_error("mkview: '%s' is not a view tag name", name.c_str());
    unsigned char check[28];
    if (!words.addr.empty() && host_addr_to_sockaddr(words.addr, check) != 0)
        usage_error("mkview: '%s' is not an address", words.addr.c_str());
    check_text("mkview", words.storage + words.host);
    ready();
    HostTag tag;
    tag.kind = words.automatic ? HOST_AUTO_VIEW_ROOT : HOST_VIEW_ROOT;
    if (host_tag_find(tag.kind, name, true, tag) == 0)
        refused("view tag " + name, TBS_ST_EEXIST);
    HostView view;
    view.storage = words.storage.empty() ? std::string(host_state_dir()) + "/view-storage/" + name + ".vws"
                                         : absolute(words.storage);
    view.host = words.host;
    view.addr = words.addr;
    view.automatic = words.automatic;
    int status = host_view_create(view);
    if (status != 0)
        refused("view storage " + view.storage, status);
    tag.name = name;
    make_tag(tag, view);
    printf("%s\n", host_tag_path(tag).c_str());
    return 0;
}

static int mkvob(int argc, char **argv)
{
    Words words = parse("mkvob", argc, argv, {"--storage", "--host"});
    if (words.operands.empty())
        usage_error("%s: a VOB tag is needed", "mkvob");
    if (!words.storage.empty() && words.operands.size() > 1)
        usage_error("%s: --storage names the storage of one VOB only", "mkvob");
    for (const std::string &tag : words.operands)
        if (host_vob_tag(tag).empty())
            usage_error("mkvob: '%s' is not a VOB tag", tag.c_str());
    check_text("mkvob", words.storage + words.host);
    ready();
    for (const std::string &tag : words.operands) {
        HostVob vob;
        vob.tag = tag;
        vob.storage = absolute(words.storage);
        vob.host = words.host;
        int status = host_vob_create(vob);
        if (status != 0)
            refused("VOB " + host_vob_tag(tag), status);
    }
    return 0;
}

static int mktag(int argc, char **argv)
{
    Words words = parse("mktag", argc, argv, {"--auto"});
    expect_operands("mktag", words, 2);
    HostTag tag;
    tag.kind = words.automatic ? HOST_AUTO_VIEW_ROOT : HOST_VIEW_ROOT;
    tag.name = words.operands[0];
    if (!host_tag_name_ok(tag.name))
        usage_error("mktag: '%s' is not a view tag name", tag.name.c_str());
    HostView view;
    char real[PATH_MAX];
    std::string storage = realpath(words.operands[1].c_str(), real) ? real : absolute(words.operands[1]);
    int status = host_view_read(storage, view);
    if (status != 0)
        refused("view storage " + storage, status);
    make_tag(tag, view);
    return 0;
}

static int rmtag(int argc, char **argv)
{
    Words words = parse("rmtag", argc, argv, {"--auto"});
    expect_operands("rmtag", words, 1);
    int status = host_tag_remove(words.automatic ? HOST_AUTO_VIEW_ROOT : HOST_VIEW_ROOT, words.operands[0]);
    if (status != 0)
        refused("view tag " + words.operands[0], status);
    return 0;
}

static int poolmap(int argc, char **argv)
{
    Words words = parse("poolmap", argc, argv, {});
    expect_operands("poolmap", words, 3);
    if (words.operands[1].empty())
        usage_error("%s: the pattern is empty", "poolmap");
    check_text("poolmap", words.operands[1] + words.operands[2]);
    int status = host_vob_add_pool_map(words.operands[0], words.operands[1], words.operands[2]);
    if (status != 0)
        refused("VOB " + words.operands[0], status);
    return 0;
}

static int mount(const char *command, int argc, char **argv, bool mounted)
{
    Words words = parse(command, argc, argv, {});
    expect_operands(command, words, 1);
    if (host_vob_tag(words.operands[0]).empty())
        usage_error("%s: '%s' is not a VOB tag", command, words.operands[0].c_str());
    int status = host_vob_set_mounted(words.operands[0], mounted);
    if (status != 0)
        refused("VOB " + words.operands[0], status);
    return 0;
}

static int lsview(int argc, char **argv)
{
    expect_operands("lsview", parse("lsview", argc, argv, {}), 0);
    std::vector<HostView> views;
    std::vector<HostTag> tags;
    int status = host_view_list(views);
    if (status == 0)
        status = host_tag_list(tags);
    if (status != 0)
        refused(std::string("host state ") + host_state_dir(), status);
    for (const HostView &view : views) {
        bool tagged = false;
        for (const HostTag &tag : tags)
            if (tag.storage == view.storage) {
                printf("%s\t%s\t%s\t%s\t%s\n", tag.name.c_str(), tag.kind ? "auto" : "view",
                       host_id_text(view.uuid.bytes).c_str(), tag.addr.c_str(), view.storage.c_str());
                tagged = true;
            }
        if (!tagged)
            printf("-\t%s\t%s\t%s\t%s\n", view.automatic ? "auto" : "view", host_id_text(view.uuid.bytes).c_str(),
                   view.addr.c_str(), view.storage.c_str());
    }
    return 0;
}

static int lsvob(int argc, char **argv)
{
    expect_operands("lsvob", parse("lsvob", argc, argv, {}), 0);
    std::vector<HostVob> vobs;
    int status = host_vob_list(vobs);
    if (status != 0)
        refused(std::string("host state ") + host_state_dir(), status);
    for (const HostVob &vob : vobs) {
        printf("%s\t%s\t%s\t%s\t%s\n", vob.tag.c_str(), vob.mounted ? "mounted" : "unmounted",
               host_id_text(vob.uuid.bytes).c_str(), host_id_text(vob.family_oid.bytes).c_str(), vob.storage.c_str());
        for (const auto &[pattern, replacement] : vob.pool_maps)
            printf("\tpool map\t%s\t%s\n", pattern.c_str(), replacement.c_str());
    }
    return 0;
}

static int tunable(int argc, char **argv)
{
    Words words = parse("tunable", argc, argv, {});
    expect_operands("tunable", words, 2);
    const std::string &text = words.operands[1];
    char *end;
    errno = 0;
    long value = strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0 || value < INT32_MIN || value > INT32_MAX)
        usage_error("tunable: '%s' is not a 32-bit number", text.c_str());
    int status = adm_keln_set_default_tunable(words.operands[0].c_str(), (int32_t)value);
    if (status == TBS_ST_EINVAL)
        usage_error("tunable: '%s' is not a cache tunable", words.operands[0].c_str());
    if (status != 0)
        refused("tunable " + words.operands[0], status);
    return 0;
}

static int root(int argc, char **argv)
{
    Words words = parse("root", argc, argv, {"--auto"});
    expect_operands("root", words, 0);
    ready();
    printf("%s\n", words.automatic ? host_auto_view_root_path() : host_view_root_path());
    return 0;
}

int main(int argc, char **argv)
{
    if (argc < 2) {
        fputs(USAGE, stderr);
        return 2;
    }
    std::string command = argv[1];
    int count = argc - 2;
    char **rest = argv + 2;
    if (command == "help" || command == "--help" || command == "-h") {
        fputs(USAGE, stdout);
        return 0;
    }
    static const struct {
        const char *name;
        int (*run)(int argc, char **argv);
    } commands[] = {
        {"mkview", mkview},
        {"mkvob", mkvob},
        {"mktag", mktag},
        {"rmtag", rmtag},
        {"poolmap", poolmap},
        {"mount", [](int n, char **words) { return mount("mount", n, words, true); }},
        {"umount", [](int n, char **words) { return mount("umount", n, words, false); }},
        {"lsview", lsview},
        {"lsvob", lsvob},
        {"tunable", tunable},
        {"root", root},
    };
    for (const auto &each : commands)
        if (command == each.name)
            return each.run(count, rest);
    usage_error("unknown command '%s'", command.c_str());
}
