#!/usr/bin/python3
"""A private Postfix instance on 127.0.0.1 for the interop test, set up as mail
providers run theirs.

usage: postfix_server.py PORTFILE CERT KEY USER PASSWORD [--smtps-465]

Makes a folder of its own in /tmp (Postfix's daemons, running as the postfix
user, must reach it), writes the configuration, queue and mail store there and
starts Postfix's master in the foreground from it; nothing of the system's
Postfix is used or started. Once every port listens it writes one line to
PORTFILE: the ports "submission smtps plain small", then the folder:
  submission  STARTTLS required, AUTH (PLAIN, LOGIN) only after it
  smtps       TLS from the first byte, AUTH; port 465 with --smtps-465 if it can be had
  plain       AUTH offered without any encryption (a server to refuse)
  small       like submission, with a message size limit of 20000 bytes
Mail to friend@murmel.test is delivered to the Maildir FOLDER/mail/friend/;
every other address is refused, nothing is relayed. The log is FOLDER/maillog.
Stops Postfix and removes the folder on SIGTERM or when its parent goes away.
Needs root.
"""
import ctypes, os, pwd, grp, shutil, signal, socket, subprocess, sys, tempfile, time

DAEMONS = "/usr/lib/postfix/sbin"
DOMAIN = "murmel.test"
HOST = "mx." + DOMAIN
SMALL_LIMIT = 20000


def free_ports(count):
    sockets = [socket.socket() for _ in range(count)]
    for s in sockets:
        s.bind(("127.0.0.1", 0))
    ports = [s.getsockname()[1] for s in sockets]
    for s in sockets:
        s.close()
    return ports


def smtps_port(wanted):
    """465, where clients know to speak TLS first, when wanted and it comes free
    within 20 s (another test may hold it a moment); else any."""
    if not wanted:
        return free_ports(1)[0]
    deadline = time.time() + 20
    while True:
        with socket.socket() as s:
            try:
                s.bind(("127.0.0.1", 465))
                return 465
            except OSError:
                if time.time() > deadline:
                    return free_ports(1)[0]
        time.sleep(0.2)


def main_cf(folder, cert, key, uid, gid):
    return f"""compatibility_level = 3.6
queue_directory = {folder}/queue
data_directory = {folder}/data
command_directory = /usr/sbin
daemon_directory = {DAEMONS}
shlib_directory = /usr/lib/postfix
meta_directory = /etc/postfix
mail_owner = postfix
setgid_group = postdrop
myhostname = {HOST}
mydomain = {DOMAIN}
myorigin = $mydomain
mydestination =
inet_interfaces = 127.0.0.1
inet_protocols = ipv4
mynetworks = 127.0.0.1/32
relayhost =
default_transport = error:nothing is relayed from here
relay_transport = error:nothing is relayed from here
alias_maps =
alias_database =
biff = no
maillog_file = {folder}/maillog
maillog_file_prefixes = {folder}
smtputf8_enable = no
smtpd_helo_required = yes
smtpd_helo_restrictions = reject_invalid_helo_hostname, reject_non_fqdn_helo_hostname
smtpd_sender_restrictions = reject_non_fqdn_sender
smtpd_relay_restrictions = permit_sasl_authenticated, reject
smtpd_recipient_restrictions = reject_non_fqdn_recipient, reject_unlisted_recipient
strict_8bitmime = yes
strict_rfc821_envelopes = yes
virtual_mailbox_domains = {DOMAIN}
virtual_mailbox_base = {folder}/mail
virtual_mailbox_maps = texthash:{folder}/mailboxes
virtual_uid_maps = static:{uid}
virtual_gid_maps = static:{gid}
virtual_minimum_uid = 1
smtpd_sasl_auth_enable = yes
smtpd_sasl_type = cyrus
smtpd_sasl_path = smtpd
cyrus_sasl_config_path = {folder}/etc/sasl
smtpd_sasl_local_domain = {HOST}
smtpd_sasl_security_options = noanonymous
smtpd_tls_cert_file = {cert}
smtpd_tls_key_file = {key}
smtpd_tls_security_level = encrypt
smtpd_tls_auth_only = yes
smtpd_tls_loglevel = 1
"""


def master_cf(ports):
    submission, smtps, plain, small = ports
    return f"""127.0.0.1:{submission} inet n - n - - smtpd
127.0.0.1:{smtps} inet n - n - - smtpd
  -o smtpd_tls_wrappermode=yes
127.0.0.1:{plain} inet n - n - - smtpd
  -o smtpd_tls_security_level=none
  -o smtpd_tls_auth_only=no
127.0.0.1:{small} inet n - n - - smtpd
  -o message_size_limit={SMALL_LIMIT}
cleanup unix n - n - 0 cleanup
qmgr unix n - n 300 1 qmgr
tlsmgr unix - - n 1000? 1 tlsmgr
rewrite unix - - n - - trivial-rewrite
bounce unix - - n - 0 bounce
defer unix - - n - 0 bounce
trace unix - - n - 0 bounce
verify unix - - n - 1 verify
flush unix n - n 1000? 0 flush
proxymap unix - - n - - proxymap
showq unix n - n - - showq
error unix - - n - - error
retry unix - - n - - error
discard unix - - n - - discard
virtual unix - n n - - virtual
anvil unix - - n - 1 anvil
scache unix - - n - 1 scache
postlog unix-dgram n - n - 1 postlogd
"""


def write(path, text, mode=0o644):
    with open(path, "w") as f:
        f.write(text)
    os.chmod(path, mode)


# The queue's folders with the owners and modes "postfix start" gives them.
QUEUE = {"maildrop": ("postdrop", 0o730), "public": ("postdrop", 0o710), "pid": (None, 0o755)}
for name in ("active", "bounce", "corrupt", "defer", "deferred", "flush", "hold", "incoming",
             "private", "saved", "trace"):
    QUEUE[name] = ("root", 0o700)


def make_queue(queue, mail_uid):
    for name, (group, mode) in QUEUE.items():
        path = os.path.join(queue, name)
        os.makedirs(path, exist_ok=True)
        if group is not None:
            os.chown(path, mail_uid, grp.getgrnam(group).gr_gid)
        os.chmod(path, mode)


def set_up(folder, cert, key, user, password, want_465):
    postfix = pwd.getpwnam("postfix")
    mail_uid, mail_gid = postfix.pw_uid, postfix.pw_gid
    for sub in ("etc", "etc/sasl", "data", "mail", "queue"):
        os.makedirs(os.path.join(folder, sub), exist_ok=True)
    os.chown(os.path.join(folder, "data"), mail_uid, mail_gid)
    os.chown(os.path.join(folder, "mail"), mail_uid, mail_gid)
    ports = free_ports(4)
    ports[1] = smtps_port(want_465)
    etc = os.path.join(folder, "etc")
    # The daemons read the key before they drop privileges, but not from a private folder.
    cert, key = shutil.copy(cert, etc), shutil.copy(key, etc)
    os.chmod(key, 0o600)
    write(os.path.join(etc, "main.cf"), main_cf(folder, cert, key, mail_uid, mail_gid))
    write(os.path.join(etc, "master.cf"), master_cf(ports))
    write(os.path.join(folder, "mailboxes"), f"friend@{DOMAIN} friend/\n")
    sasldb = os.path.join(etc, "sasl", "sasldb2")
    # Debian's Postfix reads its SASL settings from the configuration folder.
    write(os.path.join(etc, "sasl", "smtpd.conf"),
          f"pwcheck_method: auxprop\nauxprop_plugin: sasldb\nsasldb_path: {sasldb}\n"
          "mech_list: PLAIN LOGIN\n")
    subprocess.run(["saslpasswd2", "-f", sasldb, "-c", "-p", "-u", HOST, user],
                   input=password.encode(), check=True)
    os.chown(sasldb, mail_uid, mail_gid)
    os.chmod(sasldb, 0o600)
    make_queue(os.path.join(folder, "queue"), mail_uid)
    return etc, ports


def own_group_dying_with_parent():
    # Its own process group, so that master's shutdown reaches all its daemons
    # and nothing else; and it goes when this script goes, however that happens.
    os.setsid()
    libc = ctypes.CDLL(None, use_errno=True)
    libc.prctl(1, signal.SIGTERM)  # PR_SET_PDEATHSIG


def listening(port):
    with socket.socket() as s:
        return s.connect_ex(("127.0.0.1", port)) == 0


def main():
    portfile, cert, key, user, password = sys.argv[1:6]
    folder = tempfile.mkdtemp(prefix="murmel-postfix.", dir="/tmp")
    os.chmod(folder, 0o755)
    master = None

    def stop(*_):
        if master is not None:
            master.terminate()
            try:
                master.wait(timeout=10)
            except subprocess.TimeoutExpired:
                master.kill()
        shutil.rmtree(folder, ignore_errors=True)
        sys.exit(0)

    signal.signal(signal.SIGTERM, stop)
    try:
        etc, ports = set_up(folder, cert, key, user, password, "--smtps-465" in sys.argv)
        master = subprocess.Popen([os.path.join(DAEMONS, "master"), "-c", etc, "-d"],
                                  preexec_fn=own_group_dying_with_parent)
    except Exception as error:
        print("postfix could not be set up:", error, file=sys.stderr)
        stop()
    deadline = time.time() + 30
    while not all(listening(p) for p in ports):
        if master.poll() is not None or time.time() > deadline:
            print("postfix did not start", file=sys.stderr)
            stop()
        time.sleep(0.1)
    with open(portfile + ".tmp", "w") as f:
        f.write(" ".join(str(p) for p in ports) + " " + folder + "\n")
    os.rename(portfile + ".tmp", portfile)
    parent = os.getppid()
    while os.getppid() == parent and master.poll() is None:
        time.sleep(0.2)
    stop()


main()
