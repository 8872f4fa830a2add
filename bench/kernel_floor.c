/* The kernel floor for the benchmark: the least any program can do to keep the
 * fastpath port right. It subscribes to link, neighbour, IPv6 route and nexthop
 * notifications and keeps, from them alone, the default routes (by metric, with
 * their gateway and lifetime) and the nexthop objects it has seen, and which
 * gateways' neighbour entries have failed. When the lowest-metric default route
 * that has not run out and whose gateway has not failed goes through another
 * interface, or a tavro link comes up running, it writes the flush and the name;
 * it wakes when a route runs out. It asks the kernel nothing, reads no
 * configuration and prints nothing: whatever uplinkwatch costs above this is the
 * price of its rules. Bound like the daemon (port id = pid, same groups), so the
 * benchmark's harness sees it listen the same way. */
#include <fcntl.h>
#include <linux/neighbour.h>
#include <linux/netlink.h>
#include <linux/nexthop.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <poll.h>
#include <stdio.h>
#include <string.h>
#include <sys/socket.h>
#include <time.h>
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

struct seen_default {
    unsigned metric, oif;
    unsigned char gateway[16];
    long long runs_out_ms; /* 0: no lifetime */
    int failed;            /* its gateway's neighbour entry has failed */
};

static struct seen_default defaults[SEEN];
static int default_count;
static struct { unsigned id, oif; } objects[SEEN];
static int object_count;

static long long now_ms(void) {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000LL + now.tv_nsec / 1000000;
}

static unsigned object_oif(unsigned id) {
    for (int i = 0; i < object_count; ++i)
        if (objects[i].id == id) return objects[i].oif;
    return 0;
}

/* A default route's message: its metric, output interface (its own, or its
 * nexthop object's), gateway and lifetime. Returns 0 for any other route. */
static int read_default(struct nlmsghdr *header, struct seen_default *seen) {
    struct rtmsg *route = NLMSG_DATA(header);
    if (header->nlmsg_len < NLMSG_LENGTH(sizeof *route) || route->rtm_dst_len != 0) return 0;
    int length = (int)RTM_PAYLOAD(header);
    memset(seen, 0, sizeof *seen);
    for (struct rtattr *attribute = RTM_RTA(route); RTA_OK(attribute, length);
         attribute = RTA_NEXT(attribute, length)) {
        if (RTA_PAYLOAD(attribute) < 4) continue;
        if (attribute->rta_type == RTA_OIF) memcpy(&seen->oif, RTA_DATA(attribute), 4);
        if (attribute->rta_type == RTA_PRIORITY) memcpy(&seen->metric, RTA_DATA(attribute), 4);
        if (attribute->rta_type == RTA_NH_ID && seen->oif == 0) seen->oif = object_oif(*(unsigned *)RTA_DATA(attribute));
        if (attribute->rta_type == RTA_GATEWAY && RTA_PAYLOAD(attribute) >= 16) memcpy(seen->gateway, RTA_DATA(attribute), 16);
        if (attribute->rta_type == RTA_CACHEINFO && RTA_PAYLOAD(attribute) >= sizeof(struct rta_cacheinfo)) {
            int ticks = ((struct rta_cacheinfo *)RTA_DATA(attribute))->rta_expires;
            if (ticks > 0) seen->runs_out_ms = now_ms() + ticks * 1000LL / sysconf(_SC_CLK_TCK);
        }
    }
    return 1;
}

/* A neighbour entry: the defaults whose gateway it is have failed, or no longer. */
static void note_neighbour(struct nlmsghdr *header) {
    struct ndmsg *entry = NLMSG_DATA(header);
    if (header->nlmsg_len < NLMSG_LENGTH(sizeof *entry) || entry->ndm_family != AF_INET6) return;
    int length = (int)(header->nlmsg_len - NLMSG_LENGTH(sizeof *entry));
    for (struct rtattr *attribute = (struct rtattr *)((char *)entry + NLMSG_ALIGN(sizeof *entry));
         RTA_OK(attribute, length); attribute = RTA_NEXT(attribute, length)) {
        if (attribute->rta_type != NDA_DST || RTA_PAYLOAD(attribute) < 16) continue;
        for (int i = 0; i < default_count; ++i)
            if (defaults[i].oif == (unsigned)entry->ndm_ifindex && memcmp(defaults[i].gateway, RTA_DATA(attribute), 16) == 0)
                defaults[i].failed = header->nlmsg_type == RTM_NEWNEIGH && (entry->ndm_state & NUD_FAILED);
    }
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

static void note_default(int added, const struct seen_default *seen) {
    int i = 0;
    while (i < default_count && defaults[i].metric != seen->metric) ++i;
    if (!added) {
        if (i < default_count) defaults[i] = defaults[--default_count];
        return;
    }
    if (i == default_count) {
        if (default_count == SEEN) return;
        ++default_count;
    }
    defaults[i] = *seen;
}

/* The lowest-metric default route still usable, and in `next_end_ms` when the
 * first lifetime still running runs out (0: none). */
static unsigned best_default(long long *next_end_ms) {
    unsigned best = 0, lowest = ~0U;
    long long now = now_ms();
    *next_end_ms = 0;
    for (int i = 0; i < default_count; ++i) {
        long long end = defaults[i].runs_out_ms;
        if (end != 0 && end <= now) continue;
        if (end != 0 && (*next_end_ms == 0 || end < *next_end_ms)) *next_end_ms = end;
        if (!defaults[i].failed && defaults[i].metric < lowest) {
            lowest = defaults[i].metric;
            best = defaults[i].oif;
        }
    }
    return best;
}

static unsigned current;
static long long next_end_ms;

static void follow_best(void) {
    unsigned best = best_default(&next_end_ms);
    if (best != 0 && best != current) {
        current = best;
        move_port(best);
    }
}

int main(void) {
    int fd = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    struct sockaddr_nl address = {.nl_family = AF_NETLINK, .nl_pid = (unsigned)getpid(),
                                  .nl_groups = RTMGRP_LINK | RTMGRP_NEIGH | RTMGRP_IPV6_IFADDR | RTMGRP_IPV6_ROUTE |
                                               (1U << (RTNLGRP_IPV6_RULE - 1)) | (1U << (RTNLGRP_IPV6_NETCONF - 1)) |
                                               (1U << (RTNLGRP_NEXTHOP - 1))};
    if (fd < 0 || bind(fd, (struct sockaddr *)&address, sizeof address) != 0) {
        perror("kernel_floor");
        return 1;
    }
    static char buffer[65536];
    for (;;) {
        struct pollfd wait = {.fd = fd, .events = POLLIN};
        int timeout = next_end_ms == 0 ? -1 : (int)(next_end_ms > now_ms() ? next_end_ms - now_ms() : 0);
        if (poll(&wait, 1, timeout) == 0) {
            follow_best(); /* a route ran out */
            continue;
        }
        ssize_t received = recv(fd, buffer, sizeof buffer, 0);
        if (received < 0) continue;
        int length = (int)received;
        for (struct nlmsghdr *header = (struct nlmsghdr *)buffer; NLMSG_OK(header, length);
             header = NLMSG_NEXT(header, length)) {
            struct seen_default seen;
            if (header->nlmsg_type == RTM_NEWNEXTHOP) {
                note_object(header);
            } else if (header->nlmsg_type == RTM_NEWNEIGH || header->nlmsg_type == RTM_DELNEIGH) {
                note_neighbour(header);
                follow_best();
            } else if ((header->nlmsg_type == RTM_NEWROUTE || header->nlmsg_type == RTM_DELROUTE) &&
                       read_default(header, &seen)) {
                note_default(header->nlmsg_type == RTM_NEWROUTE, &seen);
                follow_best();
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
