# The replication a user would write without graphrep: no checks, the same output bytes
# for a valid graph file with format code 0 or 1 (edge weights are dropped).
#
#   awk -v times=K -v name=NAME -f replicate.awk FILE > OUT
#
# Numbers go out one printf at a time: building a multi-megabyte line by string
# concatenation would make awk itself quadratic.
/^[ \t]*[%#]/ { next }
!have_header {
    nvtxs = $1
    nedges = $2
    step = ($3 % 10 != 0) ? 2 : 1
    have_header = 1
    next
}
{ line[++count] = $0 }
END {
    printf "%% %d %s\n%d %d\n", times, name, times * nvtxs, times * nedges
    for (j = 0; j < times; j++) {
        offset = j * nvtxs
        for (v = 1; v <= nvtxs; v++) {
            k = split(line[v], field, " ")
            for (i = 1; i <= k; i += step) printf "%d ", field[i] + offset
            printf "\n"
        }
    }
}
