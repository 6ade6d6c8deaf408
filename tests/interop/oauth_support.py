"""An OAuth 2 authorization server for the sign-in tests, built on Debian's
python3-oauthlib (authorization code with PKCE, refresh, revocation and
token introspection as that library implements RFC 6749, 7636, 7009 and
7662), over HTTPS with a certificate of the test CA. oauthlib 3.2 has no
device grant, so /device and the device_code grant of /token are written
here from RFC 8628. An SMTP server (aiosmtpd, STARTTLS) accepts an
XOAUTH2 or OAUTHBEARER login only when /introspect calls its token active.
"""
import base64
import json
import secrets
import ssl
import threading
import time
import types
import urllib.parse
import urllib.request
import warnings
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

from aiosmtpd.smtp import SMTP, AuthResult
from oauthlib.common import Request
from oauthlib.oauth2 import BearerToken, RequestValidator, Server

import smtp_support
from smtp_support import AiosmtpdThread

CLIENT_ID = "sendrix-test"
USER = "anna@example.org"
SCOPES = ["smtp", "offline_access"]
RESOURCE_SERVER = ("smtp-server", "rs-secret")  # the SMTP server's own client for introspection
DEVICE_GRANT = "urn:ietf:params:oauth:grant-type:device_code"


class Validator(RequestValidator):
    """One public desktop client, one user who consents at once, tokens in memory."""

    def __init__(self):
        self.codes, self.access, self.refresh = {}, {}, {}
        self.grants = []  # grant_type of every token issued

    # The client: the desktop program (public, PKCE) or the SMTP server (Basic, for introspection).
    def _client(self, request, client_id):
        request.client = types.SimpleNamespace(client_id=client_id)
        return True

    def client_authentication_required(self, request, *args, **kwargs):
        return "Authorization" in request.headers

    def authenticate_client(self, request, *args, **kwargs):
        kind, _, value = request.headers.get("Authorization", "").partition(" ")
        valid = kind == "Basic" and tuple(base64.b64decode(value).decode().split(":", 1)) == RESOURCE_SERVER
        return valid and self._client(request, RESOURCE_SERVER[0])

    def authenticate_client_id(self, client_id, request, *args, **kwargs):
        return client_id == CLIENT_ID and self._client(request, client_id)

    def validate_client_id(self, client_id, request, *args, **kwargs):
        return client_id == CLIENT_ID

    def validate_redirect_uri(self, client_id, redirect_uri, request, *args, **kwargs):
        return redirect_uri.startswith("http://127.0.0.1:")  # RFC 8252 7.3: loopback, any port

    def validate_response_type(self, client_id, response_type, *args, **kwargs):
        return response_type == "code"

    def validate_scopes(self, client_id, scopes, *args, **kwargs):
        return set(scopes) <= set(SCOPES)

    def get_default_scopes(self, *args, **kwargs):
        return SCOPES

    def validate_grant_type(self, client_id, grant_type, *args, **kwargs):
        return grant_type in ("authorization_code", "refresh_token")

    # Authorization codes with their PKCE challenge.
    def is_pkce_required(self, client_id, request):
        return True

    def save_authorization_code(self, client_id, code, request, *args, **kwargs):
        self.codes[code["code"]] = dict(client_id=client_id, redirect_uri=request.redirect_uri,
                                        scopes=request.scopes, challenge=request.code_challenge,
                                        method=request.code_challenge_method)

    def get_code_challenge(self, code, request):
        return self.codes.get(code, {}).get("challenge")

    def get_code_challenge_method(self, code, request):
        return self.codes.get(code, {}).get("method")

    def validate_code(self, client_id, code, client, request, *args, **kwargs):
        stored = self.codes.get(code)
        request.user, request.scopes = USER, stored and stored["scopes"]
        return bool(stored) and stored["client_id"] == client_id

    def confirm_redirect_uri(self, client_id, code, redirect_uri, *args, **kwargs):
        return self.codes[code]["redirect_uri"] == redirect_uri

    def invalidate_authorization_code(self, client_id, code, request, *args, **kwargs):
        self.codes.pop(code, None)

    # Tokens.
    def save_bearer_token(self, token, request, *args, **kwargs):
        self.grants.append(request.grant_type)
        self.access[token["access_token"]] = time.time() + token["expires_in"]
        if "refresh_token" in token:
            self.refresh[token["refresh_token"]] = token["scope"].split()

    def validate_refresh_token(self, refresh_token, client, request, *args, **kwargs):
        request.user = USER
        return refresh_token in self.refresh

    def get_original_scopes(self, refresh_token, request, *args, **kwargs):
        return self.refresh[refresh_token]

    def introspect_token(self, token, token_type_hint, request, *args, **kwargs):
        expires = self.access.get(token, 0)
        return {"username": USER, "exp": int(expires)} if expires > time.time() else None

    def revoke_token(self, token, token_type_hint, request, *args, **kwargs):
        self.refresh.pop(token, None)
        self.access.pop(token, None)

    def expire_access_tokens(self):
        self.access = dict.fromkeys(self.access, 0)

    def tokens(self):
        """Every token issued and still known (for the leak checks)."""
        return list(self.access) + list(self.refresh)


class AuthorizationServer:
    """The HTTPS endpoints on 127.0.0.1 ("localhost" in the certificate):
    /authorize, /token, /revoke, /introspect, /device. `device_answers` are
    the errors the device_code grant answers in turn before it issues a
    token (RFC 8628 3.5: "authorization_pending", "slow_down")."""

    def __init__(self, context, cafile):
        self.cafile = cafile
        self.validator = Validator()
        self.oauth = Server(self.validator, token_expires_in=3600)
        self.device_answers = []
        self.device_polls = 0
        self.devices = {}
        owner = self

        class Handler(BaseHTTPRequestHandler):
            def log_message(self, *args):
                pass

            def _reply(self, status, headers, body):
                self.send_response(status)
                for name, value in (headers or {}).items():
                    self.send_header(name, value)
                data = (body or "").encode()
                self.send_header("Content-Length", str(len(data)))
                self.end_headers()
                self.wfile.write(data)

            def do_GET(self):
                self._reply(*owner.get(self.path))

            def do_POST(self):
                body = self.rfile.read(int(self.headers.get("Content-Length", 0))).decode()
                self._reply(*owner.post(self.path, body, dict(self.headers)))

        self.httpd = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.httpd.socket = context.wrap_socket(self.httpd.socket, server_side=True)
        self.base = "https://localhost:%d" % self.httpd.server_address[1]
        self.thread = threading.Thread(target=self.httpd.serve_forever, daemon=True)
        self.thread.start()

    def stop(self):
        self.httpd.shutdown()
        self.httpd.server_close()
        self.thread.join(10)

    def get(self, path):
        uri = self.base + path
        if not path.startswith("/authorize"):
            return 404, {}, ""
        scopes, credentials = self.oauth.validate_authorization_request(uri, "GET")
        # The user signs in and consents at once.
        headers, body, status = self.oauth.create_authorization_response(uri, "GET", scopes=scopes,
                                                                          credentials=credentials)
        return status, headers, body

    def post(self, path, body, headers):
        uri = self.base + path
        form = dict(urllib.parse.parse_qsl(body))
        if path == "/device":
            return self._device_authorization(form)
        if path == "/token" and form.get("grant_type") == DEVICE_GRANT:
            return self._device_token(uri, body, headers, form)
        endpoint = {"/token": self.oauth.create_token_response,
                    "/revoke": self.oauth.create_revocation_response,
                    "/introspect": self.oauth.create_introspect_response}.get(path)
        if endpoint is None:
            return 404, {}, ""
        response_headers, response_body, status = endpoint(uri, "POST", body, headers)
        return status, response_headers, response_body

    def _json(self, status, fields):
        return status, {"Content-Type": "application/json", "Cache-Control": "no-store"}, json.dumps(fields)

    def _device_authorization(self, form):
        if form.get("client_id") != CLIENT_ID:
            return self._json(401, {"error": "invalid_client"})
        code = secrets.token_urlsafe(24)
        self.devices[code] = "WDJB-MJHT"
        return self._json(200, {"device_code": code, "user_code": "WDJB-MJHT",
                                "verification_uri": self.base + "/device-login", "expires_in": 600,
                                "interval": 5})

    def _device_token(self, uri, body, headers, form):
        self.device_polls += 1
        if form.get("client_id") != CLIENT_ID or form.get("device_code") not in self.devices:
            return self._json(400, {"error": "invalid_grant"})
        if self.device_answers:
            return self._json(400, {"error": self.device_answers.pop(0)})
        del self.devices[form["device_code"]]
        request = Request(uri, "POST", body, headers)
        request.client_id, request.user, request.scopes, request.grant_type = CLIENT_ID, USER, SCOPES, DEVICE_GRANT
        token = BearerToken(self.validator, expires_in=3600).create_token(request, refresh_token=True)
        self.validator.save_bearer_token(token, request)
        return self._json(200, dict(token))

    def mail_ini_keys(self):
        return {"OAuthProvider": "custom", "OAuthClientId": CLIENT_ID,
                "OAuthAuthorizationUrl": self.base + "/authorize", "OAuthTokenUrl": self.base + "/token",
                "OAuthDeviceUrl": self.base + "/device", "OAuthScope": " ".join(SCOPES)}

    def revoke(self, token):
        data = urllib.parse.urlencode({"token": token, "client_id": CLIENT_ID}).encode()
        context = ssl.create_default_context(cafile=self.cafile)
        urllib.request.urlopen(self.base + "/revoke", data, timeout=10, context=context).read()


class IntrospectingRecorder(smtp_support.Recorder):
    """Accepts XOAUTH2 and OAUTHBEARER when the authorization server calls
    the bearer token active (RFC 7662), for the user the login names."""

    def __init__(self, authorization, cafile):
        super().__init__()
        self.authorization = authorization
        self.context = ssl.create_default_context(cafile=cafile)
        self.logins = []  # (mechanism, user, active)

    def _introspect(self, token):
        request = urllib.request.Request(
            self.authorization.base + "/introspect", urllib.parse.urlencode({"token": token}).encode(),
            {"Authorization": "Basic " + base64.b64encode(":".join(RESOURCE_SERVER).encode()).decode()})
        return json.loads(urllib.request.urlopen(request, timeout=10, context=self.context).read())

    def _check(self, mechanism, argument):
        fields = base64.b64decode(argument).decode().split("\x01")
        user = fields[0].removeprefix("user=") if mechanism == "XOAUTH2" else fields[0].split("a=", 1)[-1].rstrip(",")
        token = next((f.removeprefix("auth=Bearer ") for f in fields if f.startswith("auth=Bearer ")), "")
        answer = self._introspect(token)
        active = answer.get("active") is True and answer.get("username") == user
        self.logins.append((mechanism, user, active))
        return AuthResult(success=active, handled=False, auth_data=user)

    async def auth_XOAUTH2(self, server, args):
        return self._check("XOAUTH2", args[1])

    async def auth_OAUTHBEARER(self, server, args):
        return self._check("OAUTHBEARER", args[1])


class OAuthSmtpServer(AiosmtpdThread):
    """aiosmtpd with STARTTLS required and AUTH only after it."""

    def __init__(self, context, recorder):
        self.recorder = recorder
        super().__init__(self._protocol)
        self.context = context

    def _protocol(self):
        with warnings.catch_warnings():
            warnings.simplefilter("ignore")
            return SMTP(self.recorder, loop=self.loop, tls_context=self.context, require_starttls=True,
                        auth_require_tls=True, auth_required=True)
