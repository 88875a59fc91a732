// The view library: views' configs and servers, from the host model.
#include "view.h"

#include <stdio.h>
#include <string.h>

#include <string>

#include "host.h"

struct view_server {
    std::string addr;
};

static int copy_text(const std::string &text, char *buffer, size_t size)
{
    if (buffer == nullptr || text.size() + 1 > size)
        return TBS_ST_EINVAL;
    memcpy(buffer, text.c_str(), text.size() + 1);
    return 0;
}

extern "C" int view_read_config(const char *storage, tbs_uuid_t *uuid, char *host, size_t host_size,
                                char *host_pname, size_t host_pname_size)
{
    HostView view;
    int status = storage ? host_view_read(storage, view) : TBS_ST_EINVAL;
    if (status == 0)
        status = copy_text(view.host, host, host_size);
    if (status == 0)
        status = copy_text(view.host_pname, host_pname, host_pname_size);
    if (status == 0)
        *uuid = view.uuid;
    return status;
}

extern "C" int view_get_handle(const char *storage, int flags, view_handle *handle)
{
    *handle = nullptr;
    HostView view;
    int status = storage && flags == 0 ? host_view_read(storage, view) : TBS_ST_EINVAL;
    if (status == 0)
        *handle = new view_server{view.addr};
    return status;
}

extern "C" int view_get_addr(view_handle handle, ViewAddr *addr)
{
    if (handle == nullptr || addr == nullptr)
        return TBS_ST_EINVAL;
    return host_addr_to_sockaddr(handle->addr, addr) == 0 ? 0 : TBS_ST_VIEW_ERROR;
}

extern "C" void view_free_handle(view_handle handle) { delete handle; }
