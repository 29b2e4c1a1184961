// The ATmega328P side: Timer1 input capture on ICP1 (PB0, D8) for the receiver, Timer1 compare A
// for the emission's schedule, Timer2 as the 38 kHz carrier on OC2B (PD3, D3), UART0 with
// interrupt-driven buffers, the status LED on PB5 (D13).

#include "avr/Hardware.h"

#include "src/Device.h"

#include <avr/interrupt.h>
#include <avr/io.h>
#include <util/atomic.h>

namespace {

constexpr uint8_t EdgeSlots = 16; // power of two
constexpr uint8_t RxSlots = 64;   // power of two
constexpr uint8_t TxSlots = 32;   // power of two
// Stands for a byte that came with a framing error or after lost bytes: no command holds it.
constexpr uint8_t DamagedByte = 0xFF;
// Carrier: CTC toggling OC2B at F_CPU / (2 * (TOP + 1)) = 38.1 kHz, duty 50 %.
constexpr uint8_t CarrierTop = 209;
// Where in the counter's cycle OC2B toggles; any value up to CarrierTop gives the same wave.
constexpr uint8_t CarrierCompare = 100;

struct EdgeRecord {
    uint32_t tick;
    bool mark;
};

volatile EdgeRecord edges[EdgeSlots];
volatile uint8_t edgeHead = 0;
volatile uint8_t edgeTail = 0;
volatile bool edgesLost = false;
volatile uint16_t overflows = 0;

volatile uint8_t rx[RxSlots];
volatile uint8_t rxHead = 0;
volatile uint8_t rxTail = 0;
volatile bool rxLost = false;

volatile uint8_t tx[TxSlots];
volatile uint8_t txHead = 0;
volatile uint8_t txTail = 0;

fw::Emission* volatile emission = nullptr;
volatile bool emitting = false;

// The latest time Extend() gave.
uint32_t latest = 0;

// The 16-bit timer value `t` as a 32-bit time; interrupts must be off.
uint32_t Extend(uint16_t t) {
    uint16_t high = overflows;
    // The counter wrapped before `t` was taken but the overflow interrupt has not run yet.
    if ((TIFR1 & _BV(TOV1)) && t < 0x8000)
        ++high;
    uint32_t time = (uint32_t(high) << 16) | t;
    // Time never runs backwards by half a counter period: a counter read in the very cycles of
    // its wrap, before the overflow flag shows (as simavr can show it), still counts as wrapped.
    if (int32_t(time - latest) < -0x8000L)
        time += 0x10000UL;
    if (int32_t(time - latest) > 0)
        latest = time;
    return time;
}

void PushEdge(uint32_t tick, bool mark) {
    const uint8_t next = (edgeHead + 1) & (EdgeSlots - 1);
    if (next == edgeTail) {
        edgesLost = true;
        return;
    }
    edges[edgeHead].tick = tick;
    edges[edgeHead].mark = mark;
    edgeHead = next;
}

bool ReceiverLow() {
    return (PINB & _BV(PINB0)) == 0;
}

// Edge selection follows the line: after a falling edge (mark starts) wait for a rising one.
void WaitForEdgeAfter(bool mark) {
    if (mark)
        TCCR1B |= _BV(ICES1);
    else
        TCCR1B &= uint8_t(~_BV(ICES1));
    // Changing the edge may raise the capture flag by itself.
    TIFR1 = _BV(ICF1);
}

void Carrier(bool on) {
    if (on) {
        if (TCCR2A & _BV(COM2B0))
            return;
        // Writing the counter blocks the compare match at once: the first toggle comes a full
        // half-period later.
        TCNT2 = CarrierCompare;
        // Start high at once, then toggle: every mark begins with a full carrier half-period.
        TCCR2A = _BV(WGM21) | _BV(COM2B1) | _BV(COM2B0);
        TCCR2B = _BV(CS20) | _BV(FOC2B);
        TCCR2A = _BV(WGM21) | _BV(COM2B0);
    } else {
        // Already off: touching the compare output again could show its latch for a moment.
        if ((TCCR2A & (_BV(COM2B1) | _BV(COM2B0))) == 0)
            return;
        // Leave the compare output low and disconnected, and the pin itself low.
        TCCR2A = _BV(WGM21) | _BV(COM2B1);
        TCCR2B = _BV(CS20) | _BV(FOC2B);
        TCCR2A = _BV(WGM21);
        PORTD &= uint8_t(~_BV(PORTD3));
    }
}

// Applies the emission's next step; false when it is over.
bool Step() {
    bool mark = false;
    uint16_t ticks = 0;
    for (;;) {
        if (!emission->Next(mark, ticks)) {
            Carrier(false);
            TIMSK1 &= uint8_t(~_BV(OCIE1A));
            emitting = false;
            return false;
        }
        Carrier(mark);
        OCR1A += ticks;
        // A step so short that its end has already passed is over: go on at once instead of
        // waiting for the counter to come round.
        if (int16_t(OCR1A - TCNT1) > 16)
            return true;
    }
}

} // namespace

ISR(TIMER1_OVF_vect) {
    overflows = overflows + 1;
}

ISR(TIMER1_CAPT_vect) {
    // Flip the edge first: the next edge may follow within microseconds.
    TCCR1B ^= _BV(ICES1);
    const uint16_t captured = ICR1;
    TIFR1 = _BV(ICF1);
    uint16_t now = TCNT1;
    bool low = ReceiverLow();
    bool mark = (TCCR1B & _BV(ICES1)) != 0;
    PushEdge(Extend(captured), mark);
    // An edge the other way that came before the flip was not captured, but the pin shows it:
    // take it at the time the pin was read. Such a pulse lasts only as long as this interrupt's
    // latency, and the capture logic merges it with the pulses around it.
    for (uint8_t i = 0; i < 4 && low != mark; ++i) {
        mark = !mark;
        WaitForEdgeAfter(mark);
        PushEdge(Extend(now), mark);
        now = TCNT1;
        low = ReceiverLow();
    }
}

ISR(TIMER1_COMPA_vect) {
    Step();
}

ISR(USART_RX_vect) {
    const uint8_t status = UCSR0A;
    uint8_t byte = UDR0;
    if (status & (_BV(FE0) | _BV(DOR0) | _BV(UPE0)))
        byte = DamagedByte;
    const uint8_t next = (rxHead + 1) & (RxSlots - 1);
    if (next == rxTail) {
        rxLost = true;
        return;
    }
    rx[rxHead] = byte;
    rxHead = next;
}

ISR(USART_UDRE_vect) {
    if (txHead == txTail) {
        UCSR0B &= uint8_t(~_BV(UDRIE0));
        return;
    }
    UDR0 = tx[txTail];
    txTail = (txTail + 1) & (TxSlots - 1);
}

void HardwareSetup() {
    // Status LED.
    DDRB |= _BV(DDB5);
    // IR LED driver: output, low.
    PORTD &= uint8_t(~_BV(PORTD3));
    DDRD |= _BV(DDD3);
    // Receiver input; the modules pull their output up themselves.
    DDRB &= uint8_t(~_BV(DDB0));

    // UART0: 38400 baud (16 MHz / 16 / 26 = 38462, +0.16 %), 8N1.
    UBRR0 = 25;
    UCSR0A = 0;
    UCSR0C = _BV(UCSZ01) | _BV(UCSZ00);
    UCSR0B = _BV(RXEN0) | _BV(TXEN0) | _BV(RXCIE0);

    // Timer2: carrier generator, CTC, running; its output joins the pin only during marks.
    OCR2A = CarrierTop;
    OCR2B = CarrierCompare;
    TCCR2A = _BV(WGM21);
    TCCR2B = _BV(CS20);

    // Timer1: free running at 2 MHz, noise canceller on.
    TCCR1A = 0;
    TCCR1B = _BV(ICNC1) | _BV(CS11);
    TIMSK1 = _BV(TOIE1);
    fw::hal::ResumeCapture();
}

namespace fw {
namespace hal {

bool ReadByte(uint8_t& byte, bool& damaged) {
    ATOMIC_BLOCK(ATOMIC_RESTORESTATE) {
        if (rxHead == rxTail)
            return false;
        byte = rx[rxTail];
        rxTail = (rxTail + 1) & (RxSlots - 1);
        damaged = rxLost;
        rxLost = false;
    }
    return true;
}

bool WriteByte(uint8_t byte) {
    ATOMIC_BLOCK(ATOMIC_RESTORESTATE) {
        const uint8_t next = (txHead + 1) & (TxSlots - 1);
        if (next == txTail)
            return false;
        tx[txHead] = byte;
        txHead = next;
        UCSR0B |= _BV(UDRIE0);
    }
    return true;
}

bool TakeEdge(uint32_t& tick, bool& mark) {
    ATOMIC_BLOCK(ATOMIC_RESTORESTATE) {
        if (edgeHead == edgeTail)
            return false;
        tick = edges[edgeTail].tick;
        mark = edges[edgeTail].mark;
        edgeTail = (edgeTail + 1) & (EdgeSlots - 1);
    }
    return true;
}

bool NowIfNoEdges(uint32_t& now) {
    ATOMIC_BLOCK(ATOMIC_RESTORESTATE) {
        if (edgeHead != edgeTail)
            return false;
        now = Extend(TCNT1);
    }
    return true;
}

bool EdgesLost() {
    ATOMIC_BLOCK(ATOMIC_RESTORESTATE) {
        const bool lost = edgesLost;
        edgesLost = false;
        return lost;
    }
    return false;
}

bool ReceiverMark() {
    return ReceiverLow();
}

void StartEmission(Emission& next) {
    ATOMIC_BLOCK(ATOMIC_RESTORESTATE) {
        TIMSK1 &= uint8_t(~_BV(ICIE1));
        edgeHead = edgeTail = 0;
        emission = &next;
        emitting = true;
        OCR1A = TCNT1;
        TIFR1 = _BV(OCF1A);
        TIMSK1 |= _BV(OCIE1A);
        Step();
    }
}

bool Emitting() {
    return emitting;
}

void ResumeCapture() {
    ATOMIC_BLOCK(ATOMIC_RESTORESTATE) {
        edgeHead = edgeTail = 0;
        WaitForEdgeAfter(ReceiverLow());
        TIMSK1 |= _BV(ICIE1);
    }
}

void StatusLed(bool on) {
    if (on)
        PORTB |= _BV(PORTB5);
    else
        PORTB &= uint8_t(~_BV(PORTB5));
}

} // namespace hal
} // namespace fw
