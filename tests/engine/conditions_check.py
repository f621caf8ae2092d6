#!/usr/bin/python3
"""What `quorvix-cli` does under real conditions: two processes at once,
another program saving meanwhile, links and hard links where files are
expected, unprivileged users, read-only media and immutable files.

Each case drives the real command line. Windows between two processes are
widened with the pause point of the fault seam (QV_TEST_PAUSE), not with
sleeps. Cases that need root (another user, a mount, chattr) are skipped
when not run as root, and must run under CI=true.
"""

import argparse
import os
import shutil
import stat
import subprocess
import sys
import tempfile
import time
import zipfile

TEST_USER = "quorvix-test"
TEMP_MARK = ".QVZ"


class Failure(Exception):
    pass


def check(cond, what):
    if not cond:
        raise Failure(what)


class Env:
    def __init__(self, cli, data, top):
        self.cli, self.data, self.top = cli, data, top
        self.root = os.geteuid() == 0
        self.user = None
        if self.root:
            try:
                import pwd
                self.user = pwd.getpwnam(TEST_USER)
            except KeyError:
                self.user = None

    def folder(self, name):
        d = os.path.join(self.top, name)
        os.makedirs(d)
        os.chmod(d, 0o777)
        return d

    def copy(self, name, folder, as_name=None):
        target = os.path.join(folder, as_name or name)
        shutil.copyfile(os.path.join(self.data, name), target)
        return target

    def run(self, *args, user=False, env=None, check_rc=None):
        cmd = [self.cli] + list(args)
        if user:
            cmd = ["setpriv", "--reuid", str(self.user.pw_uid), "--regid", str(self.user.pw_gid),
                   "--clear-groups", "--"] + cmd
        e = dict(os.environ, LC_ALL="C.UTF-8")
        e.pop("QUORVIX_DATETIME_FORMAT", None)
        if env:
            e.update(env)
        p = subprocess.run(cmd, capture_output=True, text=True, errors="replace", env=e, timeout=120)
        if check_rc is not None and p.returncode != check_rc:
            raise Failure("%s: exit %d (wanted %d)\n%s%s" % (" ".join(args), p.returncode, check_rc, p.stdout,
                                                              p.stderr))
        return p

    def start_paused(self, point, *args):
        """Starts the command line and returns once it waits at the pause point."""
        gate = tempfile.mkdtemp(dir=self.top)
        e = dict(os.environ, QV_TEST_PAUSE="%s:%s" % (point, gate), LC_ALL="C.UTF-8")
        proc = subprocess.Popen([self.cli] + list(args), stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                                env=e)
        for _ in range(3000):
            if os.path.exists(os.path.join(gate, "paused")):
                return proc, gate
            if proc.poll() is not None:
                raise Failure("%s ended before the pause point %s: %s" % (args, point, proc.stdout.read()))
            time.sleep(0.01)
        proc.kill()
        raise Failure("never reached the pause point " + point)

    @staticmethod
    def resume(proc, gate):
        open(os.path.join(gate, "resume"), "w").close()
        out, err = proc.communicate(timeout=120)
        return proc.returncode, out + err


def title_of(env, path):
    import json
    p = env.run("show", "--json", path)
    return json.loads(p.stdout)[0]["properties"]["title"]


def no_temporaries(folder):
    left = [n for n in os.listdir(folder) if TEMP_MARK in n]
    check(not left, "temporary files left behind: %s" % left)


def read(path):
    with open(path, "rb") as f:
        return f.read()


# ---------------------------------------------------------------------------

def case_concurrent_sets(env):
    d = env.folder("concurrent")
    for name in ("lo_ascii.xls", "lo_ascii.xlsx"):
        w = env.copy(name, d)
        a, gate = env.start_paused("rename", "set", "--set", "title=from A", w)
        b = env.run("set", "--set", "title=from B", w)
        rc, out = env.resume(a, gate)
        changed = [who for who, r in (("A", rc), ("B", b.returncode)) if r == 0]
        check(changed == ["A"], "%s: one run must win and the other fail, got %s\n%s%s" % (name, changed, out, b.stdout))
        check("in use" in b.stdout, "%s: B's failure names the lock: %s" % (name, b.stdout))
        check(title_of(env, w) == "from A", "%s: the change reported must be there" % name)
        no_temporaries(d)


def case_other_program_saves(env):
    d = env.folder("meanwhile")

    def by_rename(w):
        other = w + ".other"
        shutil.copyfile(w, other)
        with open(other, "ab") as f:
            f.write(b"saved by another program")
        os.rename(other, w)

    def by_append(w):
        with open(w, "ab") as f:
            f.write(b"appended")

    def in_place(w):
        with open(w, "r+b") as f:
            data = f.read(16)
            f.seek(0)
            f.write(data)
        st = os.stat(w)
        os.utime(w, ns=(st.st_atime_ns, st.st_mtime_ns + 1000000000))

    for name in ("lo_ascii.xls", "lo_ascii.xlsx"):
        for how in (by_rename, by_append, in_place):
            w = env.copy(name, d)
            a, gate = env.start_paused("rename", "set", "--set", "title=lost?", w)
            how(w)
            theirs = read(w)
            rc, out = env.resume(a, gate)
            check(rc == 1, "%s/%s: must fail, got %d: %s" % (name, how.__name__, rc, out))
            check("changed by another program" in out, "%s/%s: reason: %s" % (name, how.__name__, out))
            check(read(w) == theirs, "%s/%s: the other program's version is kept" % (name, how.__name__))
            no_temporaries(d)
            os.unlink(w)


def case_same_file_twice_with_backup(env):
    d = env.folder("twice")
    w = env.copy("lo_ascii.xlsx", d)
    original = read(w)
    os.link(w, os.path.join(d, "second-name.xlsx"))
    os.symlink("lo_ascii.xlsx", os.path.join(d, "link.xlsx"))
    p = env.run("set", "--backup", "--set", "title=once", w, w, d, os.path.join(d, "link.xlsx"), check_rc=0)
    check(p.stdout.count("changed") == 1, "one file, one change: %s" % p.stdout)
    check(read(w + ".bak") == original, "the backup is the original")


def case_export_onto_input(env):
    d = env.folder("export")
    w = env.copy("lo_ascii.xlsx", d)
    original = read(w)
    os.symlink(w, os.path.join(d, "to-input.csv"))
    for target in (w, os.path.join(d, "to-input.csv"), d):
        p = env.run("export", "-o", target, w)
        check(p.returncode == 1, "export onto %s must be refused: %s" % (target, p.stderr))
        check(read(w) == original, "the workbook is untouched")
    # A value with line breaks is one row, not three.
    env.run("set", "--set", "comments=one\ntwo\nthree", w, check_rc=0)
    p = env.run("export", "-o", os.path.join(d, "out.csv"), w, check_rc=0)
    check("exported 1 of 1" in p.stderr, "rows, not line breaks: " + p.stderr)


def plant_victim(env, folder, mode):
    victim = os.path.join(folder, "victim.txt")
    with open(victim, "w") as f:
        f.write("victim")
    os.chmod(victim, mode)
    if env.root:
        os.chown(victim, 65534, 65534)
    return victim


def victim_state(victim):
    st = os.lstat(victim)
    return read(victim), stat.S_IMODE(st.st_mode), st.st_uid, st.st_nlink


def case_links_at_backup_and_csv(env):
    d = env.folder("planted")
    for kind in ("symlink", "hardlink"):
        for mode in (0o444, 0o666):
            w = env.copy("lo_ascii.xls", d)
            os.chmod(w, 0o600)
            victim = plant_victim(env, d, mode)
            before = victim_state(victim)
            if kind == "symlink":
                os.symlink(victim, w + ".bak")
            else:
                os.link(victim, w + ".bak")
            env.run("set", "--backup", "--set", "title=x", w, check_rc=0)
            after = victim_state(victim)
            check(after[:3] == before[:3], "%s %o: the victim keeps content, mode and owner" % (kind, mode))
            st = os.lstat(w + ".bak")
            check(stat.S_ISREG(st.st_mode) and st.st_nlink == 1, "%s: the backup is a file of its own" % kind)
            check(stat.S_IMODE(st.st_mode) == 0o600 and st.st_uid == os.geteuid(),
                  "%s: the backup has the workbook's mode and owner, got %o %d" % (kind, st.st_mode, st.st_uid))
            csv = os.path.join(d, "out.csv")
            if kind == "symlink":
                os.symlink(victim, csv)
            else:
                os.link(victim, csv)
            env.run("export", "-o", csv, w, check_rc=0)
            check(victim_state(victim)[:3] == before[:3], "%s: export leaves the victim alone" % kind)
            check(stat.S_ISREG(os.lstat(csv).st_mode), "%s: the CSV is a file of its own" % kind)
            for f in (w, w + ".bak", csv):
                os.unlink(f)
            os.chmod(victim, 0o666)
            os.unlink(victim)


def case_first_backup_keeps_the_workbooks_access(env):
    d = env.folder("access")
    w = env.copy("lo_ascii.xlsx", d)
    os.chmod(w, 0o600)
    acl = shutil.which("setfacl") and shutil.which("getfacl") and env.user
    if acl:
        subprocess.run(["setfacl", "-m", "u:%s:r" % TEST_USER, w], check=True)
    env.run("set", "--backup", "--set", "title=y", w, check_rc=0)
    check(stat.S_IMODE(os.stat(w + ".bak").st_mode) & 0o077 == (0o040 if acl else 0),
          "the backup is closed to whom the workbook is closed: %o" % os.stat(w + ".bak").st_mode)
    if acl:
        entries = subprocess.run(["getfacl", "-cp", w + ".bak"], capture_output=True, text=True).stdout
        check("user:%s:r" % TEST_USER in entries, "the backup keeps the ACL: " + entries)
    # The workbook itself keeps its mode and ACL too.
    check(stat.S_IMODE(os.stat(w).st_mode) & 0o077 == (0o040 if acl else 0), "the workbook keeps its mode")


def case_workbook_given_as_link(env):
    d = env.folder("links")
    real = env.copy("lo_ascii.xlsx", d, "real.xlsx")
    link = os.path.join(d, "link.xlsx")
    os.symlink("real.xlsx", link)
    p = env.run("set", "--set", "title=through the link", link, check_rc=0)
    check(link + ": changed" in p.stdout, "reported under the name given: " + p.stdout)
    check(os.path.islink(link), "the link stays a link")
    check(title_of(env, real) == "through the link", "the real file changed")
    env.run("set", "--write-date", "2011-02-03", link, check_rc=0)
    check(time.localtime(os.stat(real).st_mtime)[:3] == (2011, 2, 3), "times-only goes to the real file")
    no_temporaries(d)

    # A planted link to a file outside a folder brings nothing in.
    outside = env.folder("outside")
    target = env.copy("lo_ascii.xls", outside, "elsewhere.xls")
    before = os.stat(target)
    inside = env.folder("listed")
    env.copy("lo_ascii.xls", inside, "own.xls")
    os.symlink(target, os.path.join(inside, "report.xls"))
    p = env.run("set", "--readonly", "on", "--write-date", "2001-01-01", inside, check_rc=0)
    check("report.xls" not in p.stdout, "the outside link is not listed: " + p.stdout)
    after = os.stat(target)
    check((after.st_mode, after.st_mtime_ns) == (before.st_mode, before.st_mtime_ns), "the outside file is untouched")


def case_hard_link_keeps_read_only(env):
    d = env.folder("hardlinks")
    w = env.copy("lo_ascii.xls", d)
    other = os.path.join(d, "other-name.xls")
    os.link(w, other)
    os.chmod(w, 0o444)
    old = read(w)
    env.run("set", "--set", "title=new", w, check_rc=0)
    check(stat.S_IMODE(os.stat(w).st_mode) == 0o444, "the changed name stays read-only")
    check(stat.S_IMODE(os.stat(other).st_mode) == 0o444, "the other name stays read-only")
    check(read(other) == old, "the other name still sees the old version")


def case_times_that_cant_be_set_fail(env):
    if not env.root:
        return "skipped (needs root)"
    d = env.folder("cant")
    w = env.copy("lo_ascii.xls", d)
    os.chmod(w, 0o666)
    if env.user:
        # Not the owner: may write the bytes, may not set the times.
        p = env.run("set", "--write-date", "2005-05-05", w, user=True)
        check(p.returncode == 1 and "failed" in p.stdout, "not the owner: " + p.stdout)
    # Immutable.
    i = env.copy("lo_ascii.xlsx", d, "immutable.xlsx")
    if subprocess.run(["chattr", "+i", i], capture_output=True).returncode == 0:
        try:
            for args in (["--write-date", "2005-05-05"], ["--hidden", "on"], ["--set", "title=z"]):
                p = env.run("set", *args, i)
                check(p.returncode == 1 and "failed" in p.stdout, "immutable %s: %s" % (args, p.stdout))
        finally:
            subprocess.run(["chattr", "-i", i])
    # A read-only mount.
    src = env.folder("ro-source")
    env.copy("lo_ascii.xls", src)
    env.copy("lo_ascii.xlsx", src)
    mnt = env.folder("ro-mount")
    if subprocess.run(["mount", "--bind", "-o", "ro", src, mnt], capture_output=True).returncode != 0:
        return "read-only mount skipped (no mount here)"
    try:
        for args in (["--write-date", "2005-05-05"], ["--set", "title=z"]):
            p = env.run("set", *args, os.path.join(mnt, "lo_ascii.xls"))
            check(p.returncode == 1 and "failed" in p.stdout, "read-only mount %s: %s" % (args, p.stdout))
        env.run("show", os.path.join(mnt, "lo_ascii.xls"), os.path.join(mnt, "lo_ascii.xlsx"), check_rc=0)
        env.run("export", "-o", os.path.join(env.top, "ro.csv"), mnt, check_rc=0)
    finally:
        subprocess.run(["umount", mnt])


def case_no_change_the_user_has_no_right_to(env):
    """A writable folder is not enough: the document itself must be the
    user's to write, and its group must survive, or nothing is written."""
    if not env.root or not env.user:
        return "skipped (needs root and the test user)"
    d = env.folder("rights")
    cases = []
    other = env.copy("lo_ascii.xls", d, "others.xls")
    os.chmod(other, 0o644)  # root's, readable only
    cases.append(("another owner", other))
    if shutil.which("setfacl"):
        acl = env.copy("lo_ascii.xlsx", d, "acl.xlsx")
        os.chmod(acl, 0o600)
        subprocess.run(["setfacl", "-m", "u:%s:r" % TEST_USER, acl], check=True)
        cases.append(("read-only ACL", acl))
    group = env.copy("lo_ascii.xlsx", d, "group.xlsx")
    os.chown(group, env.user.pw_uid, 0)  # the user's, in a group the user is not in
    os.chmod(group, 0o640)
    cases.append(("a group it can't keep", group))
    for what, f in cases:
        before = (read(f), os.stat(f).st_uid, os.stat(f).st_gid, os.stat(f).st_mode)
        p = env.run("set", "--backup", "--set", "title=x", f, user=True)
        check(p.returncode == 1 and "failed" in p.stdout, "%s: %s%s" % (what, p.stdout, p.stderr))
        after = (read(f), os.stat(f).st_uid, os.stat(f).st_gid, os.stat(f).st_mode)
        check(after == before, "%s: the document was changed" % what)
        check(not os.path.exists(f + ".bak") or what == "a group it can't keep",
              "%s: a backup of a refused change" % what)
    no_temporaries(d)


def case_reading_needs_no_write_access(env):
    d = env.folder("reading")
    files = [env.copy("lo_ascii.xls", d), env.copy("lo_ascii.xlsx", d)]
    for f in files:
        os.chmod(f, 0o644)
    if env.user:
        env.run("show", *files, user=True, check_rc=0)
        env.run("export", "-o", "-", *files, user=True, check_rc=0)
    # Two readers at once never fail each other.
    for _ in range(20):
        procs = [subprocess.Popen([env.cli, "show", "--json"] + files, stdout=subprocess.DEVNULL,
                                  stderr=subprocess.PIPE) for _ in range(2)]
        for p in procs:
            p.wait(timeout=60)
            check(p.returncode == 0, "two shows at once: " + p.stderr.read().decode())


def case_kill_right_after_the_rename(env):
    import signal
    d = env.folder("killed")
    for name in ("lo_ascii.xls", "lo_ascii.xlsx"):
        w = env.copy(name, d)
        a, gate = env.start_paused("renamed", "set", "--set", "title=after the kill", "--write-date", "2012-03-04",
                                   "--write-time", "05:06:07", w)
        a.send_signal(signal.SIGKILL)
        a.wait()
        check(title_of(env, w) == "after the kill", name + ": the new version is in place")
        check(time.localtime(os.stat(w).st_mtime)[:6] == (2012, 3, 4, 5, 6, 7),
              name + ": with the asked last-write time, not the moment of the kill")


def case_double_dash(env):
    d = env.folder("dash")
    w = env.copy("lo_ascii.xls", d, "-odd.xls")
    old = os.getcwd()
    os.chdir(d)
    try:
        env.run("show", "--", "-odd.xls", check_rc=0)
        env.run("set", "--set", "title=dash", "--", "-odd.xls", check_rc=0)
        check(title_of(env, w) == "dash", "-- ends the options")
    finally:
        os.chdir(old)


CASES = [
    case_concurrent_sets, case_other_program_saves, case_same_file_twice_with_backup, case_export_onto_input,
    case_links_at_backup_and_csv, case_first_backup_keeps_the_workbooks_access, case_workbook_given_as_link,
    case_hard_link_keeps_read_only, case_times_that_cant_be_set_fail, case_no_change_the_user_has_no_right_to,
    case_reading_needs_no_write_access,
    case_kill_right_after_the_rename, case_double_dash,
]


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--cli", required=True)
    ap.add_argument("--data", required=True)
    args = ap.parse_args()
    ci = os.environ.get("CI") == "true"
    failed = 0
    top = tempfile.mkdtemp(prefix="qv-conditions-")
    # The journals of runs with backups, in the run's own folder, not the home.
    os.environ["XDG_DATA_HOME"] = os.path.join(top, "data")
    os.chmod(top, 0o755)
    try:
        env = Env(os.path.abspath(args.cli), args.data, top)
        if ci and env.root and not env.user:
            print("the user %s is missing: scripts/test creates it" % TEST_USER)
            return 1
        for case in CASES:
            try:
                note = case(env)
                print("ok   %s%s" % (case.__name__, " (%s)" % note if note else ""))
                if note and ci and "skipped" in note and env.root:
                    print("     under CI this case must run")
                    failed += 1
            except Failure as e:
                failed += 1
                print("FAIL %s: %s" % (case.__name__, e))
    finally:
        subprocess.run(["chattr", "-R", "-i", top], capture_output=True)
        shutil.rmtree(top, ignore_errors=True)
    print("%d passed, %d failed" % (len(CASES) - failed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
