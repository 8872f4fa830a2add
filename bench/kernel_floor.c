/* The kernel floor for the benchmark: the least any program can do to keep the
 * fastpath port right. It subscribes to link, IPv6 route and nexthop-object
 * notifications and keeps, from them alone, the default routes (by metric) and
 * the nexthop objects it has seen. When the lowest-metric default route goes
 * through another interface, or a tavro link comes up running, it writes the
 * flush and the name. It asks the kernel nothing, reads no configuration and
 * prints nothing: whatever uplinkwatch costs above this is the price of its
 * rules. Bound like the daemon (port id = pid, same groups), so the benchmark's
 * harness sees it listen the same way. */
#include <fcntl.h>
#include <linux/netlink.h>
#include <linux/nexthop.h>
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

#define SEEN 64

static struct { unsigned metric, oif; } defaults[SEEN];
static int default_count;
static struct { unsigned id, oif; } objects[SEEN];
static int object_count;

static unsigned object_oif(unsigned id) {
    for (int i = 0; i < object_count; ++i)
        if (objects[i].id == id) return objects[i].oif;
    return 0;
}

/* A default route's message: its metric and output interface (its own, or its
 * nexthop object's). Returns 0 for any other route. */
static int read_default(struct nlmsghdr *header, unsigned *metric, unsigned *oif) {
    struct rtmsg *route = NLMSG_DATA(header);
    if (header->nlmsg_len < NLMSG_LENGTH(sizeof *route) || route->rtm_dst_len != 0) return 0;
    int length = (int)RTM_PAYLOAD(header);
    *metric = 0;
    *oif = 0;
    for (struct rtattr *attribute = RTM_RTA(route); RTA_OK(attribute, length);
         attribute = RTA_NEXT(attribute, length)) {
        if (RTA_PAYLOAD(attribute) < 4) continue;
        if (attribute->rta_type == RTA_OIF) memcpy(oif, RTA_DATA(attribute), 4);
        if (attribute->rta_type == RTA_PRIORITY) memcpy(metric, RTA_DATA(attribute), 4);
        if (attribute->rta_type == RTA_NH_ID && *oif == 0) *oif = object_oif(*(unsigned *)RTA_DATA(attribute));
    }
    return 1;
}

static void note_object(struct nlmsghdr *header) {
    struct nhmsg *object = NLMSG_DATA(header);
    int length = (int)(header->nlmsg_len - NLMSG_LENGTH(sizeof *object));
    unsigned id = 0, oif = 0;
    for (struct rtattr *attribute = (struct rtattr *)((char *)object + NLMSG_ALIGN(sizeof *object));
         RTA_OK(attribute, length); attribute = RTA_NEXT(attribute, length)) {
        if (attribute->rta_type == NHA_ID) memcpy(&id, RTA_DATA(attribute), 4);
        if (attribute->rta_type == NHA_OIF) memcpy(&oif, RTA_DATA(attribute), 4);
    }
    for (int i = 0; i < object_count; ++i)
        if (objects[i].id == id) {
            objects[i].oif = oif;
            return;
        }
    if (object_count < SEEN) {
        objects[object_count].id = id;
        objects[object_count++].oif = oif;
    }
}

static void note_default(int added, unsigned metric, unsigned oif) {
    for (int i = 0; i < default_count; ++i)
        if (defaults[i].metric == metric) {
            if (added) defaults[i].oif = oif;
            else defaults[i] = defaults[--default_count];
            return;
        }
    if (added && default_count < SEEN) {
        defaults[default_count].metric = metric;
        defaults[default_count++].oif = oif;
    }
}

static unsigned best_default(void) {
    unsigned best = 0, lowest = ~0U;
    for (int i = 0; i < default_count; ++i)
        if (defaults[i].metric < lowest) {
            lowest = defaults[i].metric;
            best = defaults[i].oif;
        }
    return best;
}

int main(void) {
    int fd = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    struct sockaddr_nl address = {.nl_family = AF_NETLINK, .nl_pid = (unsigned)getpid(),
                                  .nl_groups = RTMGRP_LINK | RTMGRP_IPV6_ROUTE | (1U << (RTNLGRP_NEXTHOP - 1))};
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
            unsigned metric, oif;
            if (header->nlmsg_type == RTM_NEWNEXTHOP) {
                note_object(header);
            } else if ((header->nlmsg_type == RTM_NEWROUTE || header->nlmsg_type == RTM_DELROUTE) &&
                       read_default(header, &metric, &oif)) {
                note_default(header->nlmsg_type == RTM_NEWROUTE, metric, oif);
                unsigned best = best_default();
                if (best != 0 && best != current) {
                    current = best;
                    move_port(best);
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
