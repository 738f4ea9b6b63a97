#include "sim/board_fields.h"

namespace quorin::sim {

namespace {

using R = BoardRow;
using C = ChannelBlock;

constexpr NamedField<R> kRowFields[] = {
    {"mac_address", &R::mac_address, FieldForm::Mac},
    {"product_code", &R::product_code, FieldForm::ProductCode},
    {"local_ip", &R::local_ip, FieldForm::Ip},
    {"subnet_mask", &R::subnet_mask, FieldForm::Ip},
    {"gateway_ip", &R::gateway_ip, FieldForm::Ip},
    {"firmware_major", &R::firmware_major, FieldForm::Number},
    {"firmware_minor", &R::firmware_minor, FieldForm::Number},
    {"debug_mode", &R::debug_mode, FieldForm::Number},
    {"ip_mode", &R::ip_mode, FieldForm::Number},
    {"serial_command_method", &R::serial_command_method, FieldForm::Number},
    {"trigger_chars", &R::trigger_chars, FieldForm::Hex},
    {"dns_server_ip", &R::dns_server_ip, FieldForm::Ip},
    {"reserved_block", &R::reserved_block, FieldForm::Hex},
    {"reserved_word", &R::reserved_word, FieldForm::Number},
    {"pppoe_id", &R::pppoe_id, FieldForm::Text},
    {"pppoe_password", &R::pppoe_password, FieldForm::Text},
    {"reserved_text", &R::reserved_text, FieldForm::Hex},
};

constexpr NamedField<C> kChannelFields[] = {
    {"operation_mode", &C::operation_mode, FieldForm::Number},
    {"connection_status", &C::connection_status, FieldForm::Number},
    {"use_dns", &C::use_dns, FieldForm::Number},
    {"udp", &C::udp, FieldForm::Number},
    {"remote_ip", &C::remote_ip, FieldForm::Ip},
    {"local_port", &C::local_port, FieldForm::Number},
    {"remote_port", &C::remote_port, FieldForm::Number},
    {"domain_name", &C::domain_name, FieldForm::Text},
    {"baud_rate", &C::baud_rate, FieldForm::Number},
    {"data_bits", &C::data_bits, FieldForm::Number},
    {"parity", &C::parity, FieldForm::Number},
    {"stop_bits", &C::stop_bits, FieldForm::Number},
    {"flow_control", &C::flow_control, FieldForm::Number},
    {"packing_char", &C::packing_char, FieldForm::Number},
    {"packing_size", &C::packing_size, FieldForm::Number},
    {"packing_time", &C::packing_time, FieldForm::Number},
    {"inactivity_time", &C::inactivity_time, FieldForm::Number},
    {"reserved", &C::reserved, FieldForm::Number},
    {"data_mode", &C::data_mode, FieldForm::Number},
};

}  // namespace

std::span<const NamedField<BoardRow>> row_fields() {
    return kRowFields;
}

std::span<const NamedField<ChannelBlock>> channel_fields() {
    return kChannelFields;
}

}  // namespace quorin::sim
