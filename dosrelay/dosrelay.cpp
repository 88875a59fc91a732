// dosrelay: runs a command line through the command interpreter in a session
// of its own and relays everything the command writes to its standard output
// and standard error onto dosrelay's standard output, through a named pipe
// made for this one run; ends with the command's exit code.
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "ks.h"
#include "nt.h"

extern char **environ;

static const char *const dosrelay_texts[] = {
    "An error occurred while creating the named pipe.\nError %d - %s\n",
    "An error occurred while creating an event.\nError %d - %s\n",
    "An error occurred while connecting to the named pipe.\nError %d - %s\n",
    "Couldn't start sub-process.\nError %d - %s\n",
    "Couldn't create a worker thread.\nError %d - %s\n",
    "No parameters specified.  You must specify the command\nand arguments to be executed.\n",
};
static const uint16_t dosrelay_ids[] = {1, 2, 3, 4, 5, 6};
static const msg_table dosrelay_msg_table = {"dosrelay_nt", "dosrelay", 1, 6, dosrelay_texts, dosrelay_ids};

enum {
    MSG_PIPE = 0,
    MSG_EVENT = 1, /* no event is needed on this host */
    MSG_CONNECT = 2,
    MSG_START = 3,
    MSG_THREAD = 4,
    MSG_NO_PARAMETERS = 5,
};

enum { ERROR_TEXT_SIZE = 4096, READ_SIZE = 4096, PIPE_DEPTH = 1 << 20 };
enum : unsigned { FILE_ALL_ACCESS = 0x1F01FF };

extern "C" const msg_table *_dosrelay_dosrelay_msg_table_adr(void) { return &dosrelay_msg_table; }

// Prints message `index` with an error number and its text. The text buffer
// belongs to the call, so the two threads never fill the same one.
static void dosrelay_error(int index, int code)
{
    char error_text[ERROR_TEXT_SIZE];
    nt_get_error_string(code, 0, sizeof error_text, error_text);
    imsg_print(IMSG_ERROR, &dosrelay_msg_table, index, code, error_text);
}

struct DosrelayPipe {
    int server; // read end, dosrelay's own
    int client; // write end, the command's standard output and error
};

// Moves a new descriptor above the standard ones, so that a pipe end is never
// taken for a standard stream that dosrelay was started without.
static int above_standard_streams(int fd)
{
    if (fd < 0 || fd > STDERR_FILENO)
        return fd;
    int moved = fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    int saved = errno;
    close(fd);
    errno = saved;
    return moved;
}

// Creates the FIFO "dosrelaypipe-PID" in a directory private to this process,
// opens its server and client ends, then removes the FIFO and the directory:
// the open ends are all the run needs, and so nothing is left behind however
// dosrelay ends. Signals are held while the name exists.
static int dosrelay_open_pipe(DosrelayPipe *pipe)
{
    sigset_t all, old;
    sigfillset(&all);
    sigprocmask(SIG_BLOCK, &all, &old);

    const char *tmpdir = getenv("TMPDIR");
    std::string dir = std::string(tmpdir && *tmpdir ? tmpdir : "/tmp") + "/dosrelay-XXXXXX";
    char name[32];
    snprintf(name, sizeof name, "%s-%d", "dosrelaypipe", (int)getpid());
    // A pipe has no use for the execute right.
    mode_t mode = nt_owner_security_attributes(FILE_ALL_ACCESS, 1).mode & 0666;

    int failed = -1, code = 0;
    pipe->server = pipe->client = -1;
    if (mkdtemp(dir.data()) == nullptr) {
        failed = MSG_PIPE;
        code = errno;
    } else {
        std::string path = dir + "/" + name;
        if (mkfifo(path.c_str(), mode) != 0 || chmod(path.c_str(), mode) != 0 ||
            (pipe->server = above_standard_streams(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC))) < 0) {
            failed = MSG_PIPE;
            code = errno;
        } else if ((pipe->client = above_standard_streams(open(path.c_str(), O_WRONLY | O_CLOEXEC))) < 0) {
            failed = MSG_CONNECT;
            code = errno;
        } else if (fcntl(pipe->server, F_SETFL, fcntl(pipe->server, F_GETFL) & ~O_NONBLOCK) != 0) {
            failed = MSG_PIPE;
            code = errno;
        }
        // A deep pipe lets the command write on while the reader copies in
        // reads of READ_SIZE bytes; the default depth serves when this fails.
        if (failed < 0)
            fcntl(pipe->server, F_SETPIPE_SZ, PIPE_DEPTH);
        unlink(path.c_str());
        rmdir(dir.c_str());
    }
    sigprocmask(SIG_SETMASK, &old, nullptr);

    if (failed < 0)
        return 0;
    if (pipe->server >= 0)
        close(pipe->server);
    if (pipe->client >= 0)
        close(pipe->client);
    dosrelay_error(failed, code);
    return 1;
}

// Writes all of buffer; false when fd takes no more.
static bool write_all(int fd, const char *buffer, size_t count)
{
    while (count > 0) {
        ssize_t written = write(fd, buffer, count);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        buffer += written;
        count -= written;
    }
    return true;
}

// The reader thread: copies what arrives at the server end to standard output
// until every writer has closed its end, then closes the server end. When
// standard output takes no more (closed, or nobody reads it), the server end
// is closed at once, so that the command's next write meets a broken pipe
// instead of blocking forever.
static void *dosrelay_reader(void *argument)
{
    int server = (int)(intptr_t)argument;
    // A write to a closed standard output fails with EPIPE here instead of ending dosrelay.
    sigset_t pipe_signal;
    sigemptyset(&pipe_signal);
    sigaddset(&pipe_signal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe_signal, nullptr);

    char buffer[READ_SIZE];
    for (;;) {
        ssize_t count = read(server, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0 || !write_all(STDOUT_FILENO, buffer, count))
            break;
    }
    close(server);
    return (void *)1;
}

// Stands for the console control handler: Ctrl+C and Ctrl+\ at dosrelay's
// terminal (SIGINT, SIGQUIT) do not end dosrelay from here on. The command,
// in a session of its own, does not receive the terminal's signals.
static void dosrelay_ctrl_handler(void)
{
    signal(SIGINT, SIG_IGN);
    signal(SIGQUIT, SIG_IGN);
}

// Runs the words after the program name, joined with single blanks, as one
// command line through the interpreter (COMSPEC, else /bin/sh) with its "-c"
// switch, in a new session, with dosrelay's standard input and the client
// end as its standard output and error. Closes dosrelay's own copy of the
// client end once the command has it, then waits for the command. 0 and the
// command's exit code (128 + the signal when a signal ended it), or 1.
static int dosrelay_run_child(int client, int argc, char **argv, int *exit_code)
{
    const char *comspec = getenv("COMSPEC");
    const char *interpreter = comspec && *comspec ? comspec : "/bin/sh";
    std::string command_line = argv[1];
    for (int i = 2; i < argc; i++)
        command_line.append(" ").append(argv[i]);
    char *child_argv[] = {const_cast<char *>(interpreter), const_cast<char *>("-c"), command_line.data(), nullptr};

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, client, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, client, STDERR_FILENO);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGQUIT);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGDEF);

    dosrelay_ctrl_handler();
    pid_t pid;
    // posix_spawnp reports a failed exec of the interpreter as its result.
    int status = posix_spawnp(&pid, interpreter, &actions, &attributes, child_argv, environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    close(client);
    if (status != 0) {
        dosrelay_error(MSG_START, status);
        return 1;
    }

    int wait_status = 0;
    while (waitpid(pid, &wait_status, 0) < 0 && errno == EINTR) {
    }
    *exit_code = WIFSIGNALED(wait_status) ? 128 + WTERMSIG(wait_status) : WEXITSTATUS(wait_status);
    return 0;
}

int main(int argc, char **argv)
{
    ks_system_init();
    imsg_set_app_name(argv[0]);
    if (argc < 2) {
        imsg_print(IMSG_ERROR, &dosrelay_msg_table, MSG_NO_PARAMETERS);
        pfm_exit(1);
    }

    DosrelayPipe pipe;
    if (dosrelay_open_pipe(&pipe) != 0)
        pfm_exit(1);
    pthread_t reader;
    int status = pthread_create(&reader, nullptr, dosrelay_reader, (void *)(intptr_t)pipe.server);
    if (status != 0) {
        dosrelay_error(MSG_THREAD, status);
        pfm_exit(1);
    }

    int exit_code = 1;
    int failed = dosrelay_run_child(pipe.client, argc, argv, &exit_code);
    // Everything the command wrote is relayed once the reader has met the end
    // of the pipe, which comes when the command and whatever it started have
    // closed the client end.
    pthread_join(reader, nullptr);
    pfm_exit(failed ? 1 : exit_code);
}
