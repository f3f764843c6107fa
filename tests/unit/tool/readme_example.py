"""The README's exposure-series example, exactly as the README shows it, against the simulator."""
import os
import subprocess
import sys

source, quillonctl, config = sys.argv[1:4]
with open(os.path.join(source, "examples/exposure_series.py"), encoding="utf-8") as f:
    example = f.read()
with open(os.path.join(source, "README.md"), encoding="utf-8") as f:
    if "```python\n" + example + "```\n" not in f.read():
        sys.exit("README.md does not show examples/exposure_series.py as it is")
os.makedirs(config, exist_ok=True)
env = dict(os.environ, QUILLONCTL=quillonctl + " --simulate", XDG_CONFIG_HOME=config)
sys.exit(subprocess.run(["/usr/bin/python3", "-c", example], env=env, timeout=120).returncode)
