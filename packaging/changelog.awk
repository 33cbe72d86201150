# Makes the Debian changelog from CHANGELOG.md, so a release's notes are
# written once: each "## [VERSION] - YYYY-MM-DD" section becomes an entry
# dated noon UTC that day (the same date in nearly every time zone), each
# "### Kind" heading a line of its own, each "- " item a "* " item, with its
# lines as they are wrapped. "## [Unreleased]" and link lines are left out.
# Usage: awk -v maintainer="NAME <EMAIL>" -f changelog.awk CHANGELOG.md
function fail(why) {
    print "changelog.awk: line " NR ": " why > "/dev/stderr"
    failed = 1
    exit 1
}

# The last entry's closing line, with its maintainer and date.
function closeEntry() {
    if (version != "")
        printf "\n -- %s  %s\n", maintainer, date
}

/^## \[Unreleased\]/ {
    closeEntry()
    version = ""
    next
}

/^## / {
    if ($0 !~ /^## \[[0-9][^]]*\] - [0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]$/)
        fail("not a \"## [VERSION] - YYYY-MM-DD\" heading: " $0)
    closeEntry()
    if (entries++)
        print ""
    version = substr($2, 2, length($2) - 2)
    command = "date -u -R -d '" $4 " 12:00'"
    if ((command | getline date) <= 0)
        fail("no such day: " $4)
    close(command)
    printf "orvalis (%s) unstable; urgency=medium\n", version
    next
}

version == "" || /^$/ || /^\[[^]]*\]: / { next }
/^### / { printf "\n  %s:\n", substr($0, 5); next }
/^- / { print "  * " substr($0, 3); next }
/^  [^ ]/ { print "  " $0; next }
{ fail("neither a heading, an item nor an item's next line: " $0) }

END {
    if (!failed)
        closeEntry()
}
