"""A browser stand-in for $BROWSER: opens the sign-in address it is given
(the test CA in SSL_CERT_FILE), lets the authorization server's redirect
lead it to the loopback address and writes the page it gets there to
$OAUTH_BROWSER_PAGE. $OAUTH_BROWSER_STATE replaces the redirect's state,
as an answer to another sign-in would carry."""
import os
import ssl
import sys
import urllib.error
import urllib.parse
import urllib.request


class KeepRedirect(urllib.request.HTTPRedirectHandler):
    def redirect_request(self, *args):
        return None


context = ssl.create_default_context(cafile=os.environ["SSL_CERT_FILE"])
opener = urllib.request.build_opener(urllib.request.HTTPSHandler(context=context), KeepRedirect)
try:
    opener.open(sys.argv[1], timeout=10)
    sys.exit("no redirect")
except urllib.error.HTTPError as answer:
    location = answer.headers["Location"]
if os.environ.get("OAUTH_BROWSER_STATE"):
    parts = urllib.parse.urlsplit(location)
    query = dict(urllib.parse.parse_qsl(parts.query), state=os.environ["OAUTH_BROWSER_STATE"])
    location = urllib.parse.urlunsplit(parts._replace(query=urllib.parse.urlencode(query)))
with urllib.request.urlopen(location, timeout=10) as page, open(os.environ["OAUTH_BROWSER_PAGE"], "wb") as out:
    out.write(page.read())
