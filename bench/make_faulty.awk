# Makes a faulty copy of a graph file for the repair benchmark: each edge is listed at its
# lower end only with probability one_sided (its entry at the higher end is left out), and a
# vertex lists itself after an entry with probability self (about self_edges of the edges when
# it is half of that per entry). Comment lines and the header are copied; the header's edge
# count is left as it was, so that it no longer matches. Seeded: the same file every time.
#
#   awk -v one_sided=0.01 -v self=0.0005 -f bench/make_faulty.awk IN > OUT
BEGIN { srand(20261208) }
/^[ \t]*[%#]/ || /^[ \t]*$/ && !header_seen { print; next }
!header_seen {
    header_seen = 1
    weighted = ($3 % 10) != 0
    step = weighted ? 2 : 1
    vertex = 0
    print
    next
}
{
    ++vertex
    # Printed entry by entry: a line of millions of entries built up as one string would be
    # copied once per entry.
    for (i = 1; i <= NF; i += step) {
        u = $i + 0
        if (u < vertex && rand() < one_sided) continue
        printf "%s ", (weighted ? $i " " $(i + 1) : $i)
        if (rand() < self) printf "%s ", (weighted ? vertex " 1" : vertex)
    }
    printf "\n"
}
