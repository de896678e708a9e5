"""A real Slurm of one node on this machine, for tests: munged with its own
key, socket and files, a generated slurm.conf, slurmctld and slurmd, all in
one temporary folder and on loopback, stopped by their pid files and removed
at the end."""
import os
import shutil
import socket
import subprocess
import tempfile
import time


def free_port_pair():
    """Two consecutive ports nothing listens on at the moment."""
    for _ in range(50):
        with socket.socket() as probe:
            probe.bind(("127.0.0.1", 0))
            port = probe.getsockname()[1]
        try:
            with socket.socket() as second:
                second.bind(("127.0.0.1", port + 1))
            return port, port + 1
        except OSError:
            continue
    raise RuntimeError("no two free ports in a row")


class SingleNodeSlurm:
    def __init__(self):
        self.folder = tempfile.mkdtemp(prefix="slurm_")
        # munged wants every user to reach its socket's folder, and no one else to write it.
        os.chmod(self.folder, 0o711)
        self.conf = os.path.join(self.folder, "slurm.conf")
        self.env = dict(os.environ, SLURM_CONF=self.conf)
        self.daemons = []

    def path(self, name):
        return os.path.join(self.folder, name)

    def start(self):
        with open(self.path("munge.key"), "wb") as key:
            key.write(os.urandom(1024))
        os.chmod(self.path("munge.key"), 0o400)
        self.daemon("munged", ["munged", f"--key-file={self.path('munge.key')}", f"--socket={self.path('munge.sock')}",
                               f"--pid-file={self.path('munged.pid')}", f"--log-file={self.path('munged.log')}",
                               f"--seed-file={self.path('munge.seed')}"])
        for sub in ("state", "spool"):
            os.mkdir(self.path(sub))
        host = socket.gethostname()
        controller_port, node_port = free_port_pair()
        user = subprocess.run(["id", "-un"], capture_output=True, text=True, check=True).stdout.strip()
        with open(self.conf, "w") as conf:
            conf.write("\n".join([
                "ClusterName=videotest",
                f"SlurmctldHost={host}(127.0.0.1)",
                f"SlurmctldPort={controller_port}",
                f"SlurmdPort={node_port}",
                "AuthType=auth/munge",
                f"AuthInfo=socket={self.path('munge.sock')}",
                "CredType=cred/munge",
                f"SlurmUser={user}",
                f"SlurmdUser={user}",
                f"StateSaveLocation={self.path('state')}",
                f"SlurmdSpoolDir={self.path('spool')}",
                f"SlurmctldPidFile={self.path('slurmctld.pid')}",
                f"SlurmdPidFile={self.path('slurmd.pid')}",
                f"SlurmctldLogFile={self.path('slurmctld.log')}",
                f"SlurmdLogFile={self.path('slurmd.log')}",
                "ProctrackType=proctrack/linuxproc",
                "TaskPlugin=task/none",
                "SelectType=select/cons_tres",
                "SelectTypeParameters=CR_CPU",
                "SchedulerType=sched/builtin",
                "ReturnToService=2",
                "MpiDefault=none",
                "JobAcctGatherType=jobacct_gather/none",
                "AccountingStorageType=accounting_storage/none",
                "MailProg=/bin/true",
                f"NodeName={host} NodeAddr=127.0.0.1 CPUs={os.cpu_count()} State=UNKNOWN",
                "PartitionName=test Nodes=ALL Default=YES MaxTime=INFINITE State=UP",
                ""]))
        self.daemon("slurmctld", ["slurmctld", "-f", self.conf])
        self.daemon("slurmd", ["slurmd", "-f", self.conf])
        deadline = time.monotonic() + 30
        while time.monotonic() < deadline:
            state = self.run(["sinfo", "-h", "-o", "%T"], check=False).stdout.strip()
            if state == "idle":
                return
            time.sleep(0.3)
        raise RuntimeError(f"the node did not come up (state '{state}'):\n{self.logs()}")

    def daemon(self, name, argv):
        """Starts a daemon that forks into the background and writes its pid file."""
        subprocess.run(argv, env=self.env, check=True)
        self.daemons.append(name)
        pid_file = self.path(f"{name}.pid")
        deadline = time.monotonic() + 10
        while not os.path.exists(pid_file) and time.monotonic() < deadline:
            time.sleep(0.05)

    def run(self, argv, check=True):
        return subprocess.run(argv, env=self.env, capture_output=True, text=True, check=check)

    def job_state(self, job):
        """JobState of a job or array task ('COMPLETED', 'RUNNING', ...), from the controller."""
        out = self.run(["scontrol", "-o", "show", "job", job], check=False).stdout
        for word in out.split():
            if word.startswith("JobState="):
                return word.split("=", 1)[1]
        return "UNKNOWN"

    def wait_gone(self, job, seconds):
        """Waits until no task of `job` is pending or running; False at the time limit, or at once when
        the job waits for a dependency that can no longer be met (a chunk before it failed)."""
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            reasons = self.run(["squeue", "-h", "-j", job, "-o", "%r"], check=False).stdout.split()
            if not reasons:
                return True
            if "DependencyNeverSatisfied" in reasons:
                return False
            time.sleep(0.5)
        return False

    def logs(self):
        text = []
        for name in ("slurmctld.log", "slurmd.log", "munged.log"):
            if os.path.exists(self.path(name)):
                with open(self.path(name)) as f:
                    text.append(f"--- {name}\n" + "".join(f.readlines()[-15:]))
        return "\n".join(text)

    def stop(self):
        # Nothing of ours may run on once the daemons are gone.
        if "slurmctld" in self.daemons:
            jobs = self.run(["squeue", "-h", "-o", "%A"], check=False).stdout.split()
            if jobs:
                self.run(["scancel"] + jobs, check=False)
                for job in jobs:
                    self.wait_gone(job, 30)
        for name in reversed(self.daemons):
            try:
                with open(self.path(f"{name}.pid")) as f:
                    pid = int(f.read().strip())
            except (OSError, ValueError):
                continue
            try:
                os.kill(pid, 15)
            except ProcessLookupError:
                continue
            deadline = time.monotonic() + 10
            while time.monotonic() < deadline:
                try:
                    os.kill(pid, 0)
                except ProcessLookupError:
                    break
                time.sleep(0.1)
        self.daemons = []
        shutil.rmtree(self.folder, ignore_errors=True)
