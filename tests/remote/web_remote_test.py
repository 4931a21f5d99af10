#!/usr/bin/env python3
"""The web remote in a real browser against the service and the virtual board:
web_remote_test.py ZELVAR_CLI ZELVAR_BOARD DEMO_DIR"""
import json
import os
import struct
import sys
import time
import unittest
import urllib.parse
import urllib.request

from web_host import Board, ForeignPage, Service, STATES_SHOWN, TOKEN, browser, wait_for

CLI, BOARD, DEMO = (os.path.abspath(path) for path in sys.argv[1:4])


def relay_state(driver, relay):
    return driver.execute_script(f"return document.querySelector('[data-relay=\"{relay}\"]').dataset.state")


class WebRemote(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.board = Board(BOARD)
        cls.addClassCleanup(cls.board.stop)
        cls.service = Service(CLI, DEMO, cls.board.device)
        cls.addClassCleanup(cls.service.stop)
        cls.driver = browser()
        cls.addClassCleanup(cls.driver.quit)
        panel = cls.service.api("GET", "api/panel")["buttons"]
        cls.imp = next(b for b in panel if b["mode"] == 1 and b["relay"])
        cls.on = next(b for b in panel if b["mode"] == 2 and b["relay"])

    def setUp(self):
        self.driver.get(f"{self.service.base}?token={TOKEN}")
        wait_for(self.driver, STATES_SHOWN)
        self.board.forget()

    def button(self, button):
        return self.driver.find_element("css selector", f'[data-button="{button["index"]}"]')

    def touch(self, kind, element=None):
        """A real touch through the browser's input pipeline, at the middle of `element`."""
        points = []
        if element is not None:
            box = self.driver.execute_script(
                "const r = arguments[0].getBoundingClientRect(); return [r.x + r.width / 2, r.y + r.height / 2]", element)
            points = [{"x": box[0], "y": box[1]}]
        self.driver.execute_cdp_cmd("Input.dispatchTouchEvent", {"type": kind, "touchPoints": points})

    def test_a_tap_puts_the_buttons_command_on_the_wire(self):
        self.assertNotIn("token=", self.driver.current_url, "the token stays out of the address bar")
        self.touch("touchStart", self.button(self.on))
        self.touch("touchEnd")
        self.board.expect(f"S{self.on['relay']}N$#")
        wait_for(self.driver, f"return document.querySelector('[data-relay=\"{self.on['relay']}\"]').dataset.state === 'on'")

    def test_a_relay_switched_from_the_command_line_shows_within_200_ms(self):
        self.service.api("PUT", "api/relays", {"3": "off"})
        wait_for(self.driver, "return document.querySelector('[data-relay=\"3\"]').dataset.state === 'off'")
        # The page notes when it shows the change, on its own clock, set against ours.
        self.driver.execute_script("""
            const lamp = document.querySelector('[data-relay="3"]');
            window.shownAt = 0;
            new MutationObserver(() => {
                if (lamp.dataset.state === 'on' && !window.shownAt)
                    window.shownAt = performance.timeOrigin + performance.now();
            }).observe(lamp, {attributes: true, attributeFilter: ['data-state']});""")
        before = time.time() * 1000
        page_now = self.driver.execute_script("return performance.timeOrigin + performance.now()")
        offset = page_now - (before + time.time() * 1000) / 2

        started = time.time() * 1000
        result = self.service.cli_command("relay", "3", "on")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.board.expect("S3N$#")
        wait_for(self.driver, "return window.shownAt > 0")
        latency = self.driver.execute_script("return window.shownAt") - offset - started
        print(f"relay 3 shown {latency:.0f} ms after the command", file=sys.stderr)
        self.assertLessEqual(latency, 200, f"relay 3 shown {latency:.0f} ms after the command")
        self.assertEqual(relay_state(self.driver, 3), "on")

    def test_a_held_imp_button_is_released_on_pointer_cancel(self):
        relay = self.imp["relay"]
        self.touch("touchStart", self.button(self.imp))
        self.board.expect(f"S{relay}N$#")
        wait_for(self.driver, f"return document.querySelector('[data-relay=\"{relay}\"]').dataset.state === 'on'")
        self.touch("touchCancel")
        self.board.expect(f"S{relay}F$#")
        wait_for(self.driver, f"return document.querySelector('[data-relay=\"{relay}\"]').dataset.state === 'off'")

    def test_a_held_imp_button_is_released_when_the_page_is_hidden(self):
        page = self.driver.current_window_handle
        self.touch("touchStart", self.button(self.imp))
        self.board.expect(f"S{self.imp['relay']}N$#")
        self.driver.switch_to.new_window("tab")
        self.board.expect(f"S{self.imp['relay']}F$#")
        self.driver.close()
        self.driver.switch_to.window(page)
        self.touch("touchCancel")

    def test_a_held_imp_button_is_released_when_the_page_goes_away(self):
        self.touch("touchStart", self.button(self.imp))
        self.board.expect(f"S{self.imp['relay']}N$#")
        self.driver.get("about:blank")
        self.board.expect(f"S{self.imp['relay']}F$#")
        self.touch("touchCancel")

    def test_all_off_asks_first_then_switches_every_relay_off(self):
        self.service.api("PUT", "api/relays", {"5": "on"})
        self.board.expect("S5N$#")
        self.driver.find_element("id", "tout-eteindre").click()
        self.driver.switch_to.alert.dismiss()
        time.sleep(0.3)
        self.assertTrue(self.board.lines.empty(), "refused, nothing is sent")
        self.driver.find_element("id", "tout-eteindre").click()
        self.assertEqual(self.driver.switch_to.alert.text, "Éteindre les 16 relais ?")
        self.driver.switch_to.alert.accept()
        self.board.expect("S16F$#")
        wait_for(self.driver, "return [...document.querySelectorAll('[data-relay]')]"
                              ".every(lamp => lamp.dataset.state === 'off')")

    def test_on_a_phone_every_target_takes_a_thumb_and_a_lamp_toggles_its_relay(self):
        sizes = self.driver.execute_script(
            "return [...document.querySelectorAll('.bouton, .voyant, #tout-eteindre')]"
            ".map(e => { const r = e.getBoundingClientRect(); return [e.className || e.id, r.width, r.height]; })")
        self.assertEqual(len(sizes), len(self.service.api("GET", "api/panel")["buttons"]) + 17)
        for name, width, height in sizes:
            self.assertGreaterEqual(min(width, height), 44, f"{name}: {width:.0f} x {height:.0f} px")
        lamp = self.driver.find_element("css selector", f'[data-relay="{self.on["relay"]}"] button')
        self.assertIn(self.on["description"], lamp.get_attribute("aria-label"), "the lamp is named after its button")
        self.touch("touchStart", lamp)
        self.touch("touchEnd")
        self.board.expect(f"S{self.on['relay']}T$#")

    def test_the_page_installs_on_a_home_screen(self):
        link = self.driver.find_element("css selector", 'link[rel="manifest"]').get_attribute("href")
        self.assertTrue(self.driver.find_element("css selector", 'meta[name="theme-color"]').get_attribute("content"))
        # Browsers fetch the manifest and its icons without credentials: no token needed.
        with urllib.request.urlopen(link) as answer:
            manifest = json.load(answer)
        self.assertEqual((manifest["display"], manifest["start_url"]), ("standalone", "./"))
        self.assertTrue(manifest["name"])
        sizes = set()
        for icon in manifest["icons"]:
            with urllib.request.urlopen(urllib.parse.urljoin(link, icon["src"])) as answer:
                self.assertEqual(answer.headers["Content-Type"], "image/png")
                png = answer.read()
            width, height = struct.unpack(">II", png[16:24])
            self.assertEqual(f"{width}x{height}", icon["sizes"])
            sizes.add(icon["sizes"])
        self.assertEqual(sizes, {"192x192", "512x512"})

    def test_a_page_on_another_port_can_neither_act_nor_listen(self):
        """After the remote was opened, a page of another port of the same host tries what a
        page may: a no-cors POST, a form, an EventSource, a WebSocket. None acts or opens."""
        relay = self.on["relay"]
        lit = 5 if relay != 5 else 6
        self.service.api("PUT", "api/relays", {str(lit): "on", str(relay): "off"})
        time.sleep(0.3)
        self.board.forget()
        foreign = ForeignPage(self.service.base, self.on["index"])
        self.addCleanup(foreign.stop)
        self.driver.get(foreign.base)
        wait_for(self.driver, "return Object.values(window.results).every(result => result !== 'pending')", 10)
        results = self.driver.execute_script("return window.results")
        self.assertEqual(results["websocket"], "refused", results)
        self.assertEqual(results["events"], "refused", results)
        time.sleep(0.5)  # time for a request that got through to reach the board
        self.assertTrue(self.board.lines.empty(), "the board received nothing")
        states = self.service.api("GET", "api/relays")
        self.assertEqual((states[str(lit)], states[str(relay)]), ("on", "off"), "nothing was switched")
        for headers in foreign.headers:
            self.assertFalse(any(TOKEN in value for value in headers.values()), headers)
        self.assertTrue(foreign.headers, "the foreign page was served")
        # The remote itself still works, its token kept in its own origin's storage.
        self.driver.get(self.service.base)
        wait_for(self.driver, STATES_SHOWN)
        self.assertEqual(self.driver.get_cookies(), [], "no cookie holds the token")


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
