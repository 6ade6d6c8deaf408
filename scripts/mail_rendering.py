"""The HTML part of a received message as a recipient's mail program shows
it: every cid: replaced by the data of its part (RFC 2392), rendered by
headless Chromium (Debian's chromium). Used by the browser test and by
scripts/screenshot.sh:

    /usr/bin/python3 scripts/mail_rendering.py message.eml out.png
"""
import base64
import email
import email.policy
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

CHROMIUM_LIMIT_SECONDS = 120

FACTS_SCRIPT = """<script>
window.addEventListener("load", function () {
  var heading = document.querySelector("h1");
  var facts = {
    images: Array.prototype.map.call(document.images, function (image) {
      return {alt: image.alt, shown: image.complete && image.naturalWidth > 0};
    }),
    headingWeight: heading ? getComputedStyle(heading).fontWeight : null
  };
  var out = document.createElement("pre");
  out.id = "sendrix-facts";
  out.textContent = JSON.stringify(facts);
  document.body.appendChild(out);
});
</script>"""


def chromium():
    for name in ("chromium", "chromium-browser"):
        path = shutil.which(name)
        if path:
            return path
    return None


def html_with_parts(message_bytes):
    """The HTML part of the message with each cid: URL made a data: URL of
    its part; a cid: without a part stays (and shows as a broken image)."""
    message = email.message_from_bytes(message_bytes, policy=email.policy.default)
    html = message.get_body(preferencelist=("html",))
    parts = {}
    for part in message.walk():
        if part["Content-ID"]:
            data = base64.b64encode(part.get_payload(decode=True)).decode("ascii")
            parts[part["Content-ID"].strip("<>")] = "data:%s;base64,%s" % (part.get_content_type(), data)
    return re.sub(r'cid:([^"\'\s>]+)', lambda m: parts.get(m.group(1), m.group(0)), html.get_content())


def _run_chromium(html, *arguments):
    with tempfile.TemporaryDirectory(prefix="sendrix-chromium-") as folder:
        page = os.path.join(folder, "message.html")
        # The text is decoded already (by the part's charset, as a mail
        # program does); the byte-order mark outranks the meta line's charset.
        with open(page, "w", encoding="utf-8-sig") as out:
            out.write(html)
        command = [chromium(), "--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
                   "--hide-scrollbars", "--user-data-dir=" + os.path.join(folder, "profile"),
                   "--virtual-time-budget=5000", *arguments, "file://" + page]
        return subprocess.run(command, capture_output=True, timeout=CHROMIUM_LIMIT_SECONDS, cwd=folder,
                              env=dict(os.environ, HOME=folder))


def screenshot(html, png, width=800, height=1000):
    """Renders `html` to the PNG file `png`."""
    done = _run_chromium(html, "--screenshot=" + os.path.abspath(png), "--window-size=%d,%d" % (width, height))
    if done.returncode != 0 or not os.path.exists(png):
        raise RuntimeError("chromium: " + done.stderr.decode("utf-8", "replace")[-2000:])


def facts(html):
    """What the browser made of `html`: each image with its alt text and
    whether it decoded, and the computed font weight of the first heading."""
    done = _run_chromium(html.replace("</body>", FACTS_SCRIPT + "</body>") if "</body>" in html
                         else html + FACTS_SCRIPT, "--dump-dom")
    found = re.search(r'<pre id="sendrix-facts">(.*?)</pre>', done.stdout.decode("utf-8"), re.S)
    if not found:
        raise RuntimeError("chromium: " + done.stderr.decode("utf-8", "replace")[-2000:])
    return json.loads(found.group(1).replace("&quot;", '"').replace("&amp;", "&"))


if __name__ == "__main__":
    with open(sys.argv[1], "rb") as received:
        screenshot(html_with_parts(received.read()), sys.argv[2])
