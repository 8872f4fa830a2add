/* The kernel floor for the benchmark: the least any program can do to keep the
 * fastpath port right. It subscribes to link and IPv6 route notifications and,
 * on a default route through another interface, or a tavro link that comes up
 * running, writes the flush and the name. It reads no configuration, checks
 * nothing else and prints nothing: whatever uplinkwatch costs above this is the
 * price of its rules. Bound like the daemon (port id = pid, same groups), so the
 * benchmark's harness sees it listen the same way. */
#include <fcntl.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <stdio.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

static void write_file(const char *path, const char *text) {
    int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return;
    if (write(fd, text, strlen(text)) < 0) perror(path);
    close(fd);
}

static void move_port(unsigned index) {
    char name[IF_NAMESIZE + 1];
    if (if_indextoname(index, name) == NULL) return;
    strcat(name, "\n");
    write_file("/proc/net/gre6_fastpath/fpe", "flush\n");
    write_file("/proc/net/gre6_fastpath/upstream_port", name);
}

/* The output interface of a default route with a gateway, or 0. */
static unsigned default_route_oif(struct nlmsghdr *header) {
    struct rtmsg *route = NLMSG_DATA(header);
    if (header->nlmsg_len < NLMSG_LENGTH(sizeof *route) || route->rtm_dst_len != 0) return 0;
    int length = (int)RTM_PAYLOAD(header), gateway = 0;
    unsigned oif = 0;
    for (struct rtattr *attribute = RTM_RTA(route); RTA_OK(attribute, length);
         attribute = RTA_NEXT(attribute, length)) {
        if (attribute->rta_type == RTA_OIF && RTA_PAYLOAD(attribute) >= 4) memcpy(&oif, RTA_DATA(attribute), 4);
        if (attribute->rta_type == RTA_GATEWAY) gateway = 1;
    }
    return gateway ? oif : 0;
}

int main(void) {
    int fd = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    struct sockaddr_nl address = {.nl_family = AF_NETLINK, .nl_pid = (unsigned)getpid(),
                                  .nl_groups = RTMGRP_LINK | RTMGRP_IPV6_ROUTE};
    if (fd < 0 || bind(fd, (struct sockaddr *)&address, sizeof address) != 0) {
        perror("kernel_floor");
        return 1;
    }
    static char buffer[65536];
    unsigned current = 0;
    for (;;) {
        ssize_t received = recv(fd, buffer, sizeof buffer, 0);
        if (received < 0) continue;
        int length = (int)received;
        for (struct nlmsghdr *header = (struct nlmsghdr *)buffer; NLMSG_OK(header, length);
             header = NLMSG_NEXT(header, length)) {
            if (header->nlmsg_type == RTM_NEWROUTE) {
                unsigned oif = default_route_oif(header);
                if (oif != 0 && oif != current) {
                    current = oif;
                    move_port(oif);
                }
            } else if (header->nlmsg_type == RTM_NEWLINK) {
                struct ifinfomsg *link = NLMSG_DATA(header);
                char name[IF_NAMESIZE];
                if ((link->ifi_flags & IFF_RUNNING) && if_indextoname((unsigned)link->ifi_index, name) != NULL &&
                    strncmp(name, "tavro", 5) == 0) {
                    move_port((unsigned)link->ifi_index);
                }
            }
        }
    }
}
